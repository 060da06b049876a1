#pragma once

#include "app/command_line.h"

#include <QImage>
#include <QString>

class CGraph;
class CkestDoc;
class CProfile;

// `kest --render`: the CSV drawn as the window shows it, into a PNG, SVG, EMF or PDF file.

/// Fills doc and graph as the viewer would show strCsv: the profile's settings (never written),
/// nChannels channels when above 0; false with strError set unless the whole file was read.
bool LoadCsvAsViewed(const QString& strCsv, int nChannels, const CProfile& profile, CkestDoc& doc,
                     CGraph& graph, QString& strError);
/// Reads the CSV as the viewer does, with the profile's display settings (never writing the
/// profile), and draws the screen picture onto a white image of the requested size. A null
/// image with strError set when the CSV cannot be read completely.
QImage RenderCsv(const SRenderOptions& args, const CProfile& profile, QString& strError);
/// Draws the CSV into the output file in its format; false with strError set (and no output
/// file left behind) when the CSV cannot be read completely or the file cannot be written.
bool RenderToFile(const SRenderOptions& args, const CProfile& profile, QString& strError);
/// The whole render command: draw, write, report a failure on stderr; the process exit code (0
/// on success, 1 when reading or writing failed).
int RunRenderCommand(const SRenderOptions& args, const QString& strProfilePath);
