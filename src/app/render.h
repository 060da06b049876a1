#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

class CProfile;

/// What `kest --render` was asked to do.
struct SRenderArgs {
    QString m_strOut;    ///< PNG file to write
    int m_cx = 0;        ///< image width in pixels
    int m_cy = 0;        ///< image height in pixels
    int m_nChannels = 0; ///< channel count to use; 0 takes the profile's
    QString m_strCsv;    ///< CSV file to show
};

/// Whether the command line (arguments after the program name) asks for rendering.
bool IsRenderCommand(const QStringList& args);
/// Parses `--render OUT.png --size WxH [--channels N] FILE.csv`; false with strError set when
/// an argument is missing, repeated or out of range.
bool ParseRenderArgs(const QStringList& args, SRenderArgs& out, QString& strError);
/// Reads the CSV as the viewer does, with the profile's display settings (never writing the
/// profile), and draws the screen picture onto a white image of the requested size. A null
/// image with strError set when the CSV cannot be read.
QImage RenderCsv(const SRenderArgs& args, const CProfile& profile, QString& strError);
/// The whole render command: parse, draw, write; the process exit code (0 on success).
int RunRenderCommand(const QStringList& args, const QString& strProfilePath);
