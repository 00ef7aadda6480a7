#pragma once

#include <QString>

// The fields of the program's version record that the program shows, as text. A field the record lacks
// is an empty text.
struct ProductRecord {
    QString ProductName;
    QString CompanyName;
    QString Comments; // the maker's web site
    QString FileVersion;
    QString ProductVersion;
    int Major = 0;
    int Minor = 0;
    int Revision = 0;

    // The record compiled into this program.
    static ProductRecord compiled();
};
