#pragma once

#include "discovery/dig_engine.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

// A finished (or interrupted) dig as data: the rows in the order they are written, and every
// listing the dig saw.
struct DigTable {
    QString start;  // identifier of the start video
    int depth = 0;
    bool interrupted = false;
    std::vector<DigRow> rows;    // written in this order; position = index + 1
    std::vector<DigEdge> edges;  // writers keep the edges whose target is a node
};

enum class ExportFormat { Csv, Json, Gexf };

// "csv", "json", "gexf" (any case); nothing for other names.
std::optional<ExportFormat> exportFormatNamed(const QString& name);
// From the file name's extension; CSV when it names none of the three.
ExportFormat exportFormatForPath(const QString& path);

// The rows of a dig in the order found.
DigTable digTable(const DigEngine& engine, int depth, bool interrupted);

QByteArray exportDig(const DigTable& table, ExportFormat format);

// Titles keep their character references as the page gives them; data users want text.
QString decodeCharacterReferences(const QString& text);

// Writes to a temporary name beside path and renames it over path, so an existing file is never
// left half-written. False with the reason in error.
bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* error);
