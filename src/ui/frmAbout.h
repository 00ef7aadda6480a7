#pragma once

#include "ProductRecord.h"

#include <QList>
#include <QWidget>

#include <functional>

struct ProductIdentity;
class QLabel;

// frmAbout: the About window, showing the product's picture, name, version, maker and web site.
class frmAbout : public QWidget {
    Q_OBJECT
public:
    // Skins the window while it loads; empty while the program has no skin.
    using SkinHook = std::function<void(frmAbout&)>;

    // The texts come from record, the caption from the identity.
    explicit frmAbout(const ProductIdentity& identity, ProductRecord record = ProductRecord::compiled(),
                      SkinHook skin = {}, QWidget* parent = nullptr);

    // The load steps: caption, the record's texts, then the skin.
    void Load();

    // The controls, under the names the rest of the program knows them by.
    QLabel* Picture1 = nullptr;
    QLabel* Label1 = nullptr; // product name
    QLabel* Label2 = nullptr; // "Version:"
    QLabel* Label3 = nullptr; // "Owned By:"
    QLabel* Label4 = nullptr; // "Website:"
    QLabel* Label5 = nullptr; // the maker's statement, below the visible client area
    QLabel* lblVersion = nullptr;
    QLabel* lblCompany = nullptr;
    QLabel* lblWebsite = nullptr;
    QList<QLabel*> SkinLabel1; // element 0 is the template

private:
    void createControls();
    QLabel* label(const char* name, const QString& text, int left, int top, int width, int height,
                  bool skinnable = false);

    const ProductIdentity& m_identity;
    ProductRecord m_record;
    SkinHook m_skin;
    qreal m_scale = 1.0;
};
