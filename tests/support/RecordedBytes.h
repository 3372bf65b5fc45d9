#pragma once
// An independent model of what the working file makes of one received
// block, for comparing recorded files with what the instrument sent.

#include <QByteArray>

/// Backspaces applied within the block (one that begins it removes
/// nothing), line feeds dropped, a line feed after every carriage return,
/// decimal commas when asked (Deutsch, Francais), tabs as ";" when asked.
inline QByteArray recordedBytes(const QByteArray &block, bool decimalComma, bool semicolons = true)
{
    QByteArray kept;
    kept.reserve(block.size());
    for (char c : block) {
        if (c != '\b')
            kept += c;
        else if (!kept.isEmpty())
            kept.chop(1);
    }
    QByteArray out;
    out.reserve(kept.size() + kept.size() / 8);
    for (char c : kept) {
        if (c == '\n')
            continue;
        if (decimalComma && c == '.')
            c = ',';
        if (semicolons && c == '\t')
            c = ';';
        out += c;
        if (c == '\r')
            out += '\n';
    }
    return out;
}
