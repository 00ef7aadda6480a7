#pragma once

#include <QByteArray>
#include <QString>

class QTextDocument;

// Our own reader of rich text (RTF) into a QTextDocument: groups, the common character and paragraph control
// words, code-page and Unicode escapes, font and colour tables; destinations it does not show are skipped.
// Bounded on any input: group depth, numbers and the text it makes are capped, and its time is linear in the
// input, so a damaged or hostile file costs no more than its size.
class RtfReader {
public:
    struct Limits {
        // Groups open at once; real documents stay far below it.
        int maxDepth = 256;
        // Characters made, each paragraph break counting as one.
        qsizetype maxText = qsizetype(16) * 1024 * 1024;
        // Paragraphs: each costs the document some ten times what a character does.
        qsizetype maxParagraphs = 256 * 1024;
    };

    // Replaces the document's content with what the RTF says. False, with the reason in *error, when the input
    // does not start with "{\rtf" (the document is then left as it was), or when it ends before its groups
    // close, nests too deep, or passes a limit of text or paragraphs (the document then holds what was read up
    // to there).
    static bool read(const QByteArray& rtf, QTextDocument& into, QString* error = nullptr);
    static bool read(const QByteArray& rtf, QTextDocument& into, QString* error, const Limits& limits);
};
