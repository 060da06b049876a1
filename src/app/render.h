#pragma once

#include <QImage>
#include <QPageSize>
#include <QString>
#include <QStringList>

class CProfile;
class QCommandLineParser;

/// Output formats of `kest --render`, chosen by the output file's extension.
enum class ERenderFormat { Png, Svg, Emf, Pdf };

/// What `kest --render` was asked to do.
struct SRenderArgs {
    QString m_strOut; ///< file to write
    ERenderFormat m_nFormat = ERenderFormat::Png;
    int m_cx = 0;                                  ///< picture width (PNG, SVG, EMF)
    int m_cy = 0;                                  ///< picture height
    int m_nChannels = 0;                           ///< channel count to use; 0 takes the profile's
    QString m_strCsv;                              ///< CSV file to show
    QPageSize::PageSizeId m_nPage = QPageSize::A4; ///< paper of a PDF
    bool m_bLandscape = false;                     ///< PDF page orientation
};

/// The whole command line of the program (arguments after the program name).
struct SCommandLine {
    bool m_bHelp = false;
    bool m_bVersion = false;
    bool m_bRender = false;
    bool m_bListPorts = false;
    QString m_strLog;            ///< --log FILE.csv: log without a window
    long long m_nDurationMs = 0; ///< --duration, 0 when not given
    bool m_bForce = false;
    QStringList m_Files; ///< positional arguments (the CSV file to open or render)
};

/// Declares every option of the program on parser.
void AddProgramOptions(QCommandLineParser& parser);
/// The usage text of --help.
QString ProgramHelpText();
/// The text of --version.
QString ProgramVersionText();
/// Parses the arguments after the program name; false with strError set on an unknown option
/// or a missing value.
bool ParseCommandLine(const QStringList& args, SCommandLine& out, QString& strError);

/// Parses `--render OUT [--size WxH] [--channels N] [--page A4|Letter] [--landscape] FILE.csv`;
/// false with strError set when an argument is missing, repeated, out of range or does not fit
/// the output format.
bool ParseRenderArgs(const QStringList& args, SRenderArgs& out, QString& strError);
/// Reads the CSV as the viewer does, with the profile's display settings (never writing the
/// profile), and draws the screen picture onto a white image of the requested size. A null
/// image with strError set when the CSV cannot be read completely.
QImage RenderCsv(const SRenderArgs& args, const CProfile& profile, QString& strError);
/// Draws the CSV into the output file in its format; false with strError set (and no output
/// file left behind) when the CSV cannot be read completely or the file cannot be written.
bool RenderToFile(const SRenderArgs& args, const CProfile& profile, QString& strError);
/// The whole render command: parse, draw, write; the process exit code (0 on success, 1 when
/// reading or writing failed, 2 for a wrong command line).
int RunRenderCommand(const QStringList& args, const QString& strProfilePath);
