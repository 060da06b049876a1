#pragma once

#include "acquisition/comm_setting.h"
#include "acquisition/publish_settings.h"
#include "settings/kest_doc.h"
#include "settings/profile.h"

#include <QMap>
#include <QString>

// Loaders run once when the view is created; everything but the serial settings passes the
// clamps of the document and ClampSamplesPerDiv. Savers run at the moment a setting changes;
// their result only says whether the profile could be written (callers show no message).

/// "Comm": Port, BaudRate, ByteSize, Parity, StopBits, stored unchecked (8-bit fields: low bits).
void LoadCommSetting(const CProfile& profile, SCommSetting& comm);
/// "Setting"/"Channels" limited to 1..8.
int LoadChannelCountValue(const CProfile& profile);
/// "Setting"/"Channels" limited to 1..8, then InitLogData with the initial size, emptying the
/// store.
void LoadChannelCount(const CProfile& profile, CkestDoc& doc);
/// "VSetting1".."VSetting8", each from a default record, through SetChannelAttr.
void LoadChannelAttrs(const CProfile& profile, CkestDoc& doc);
/// "HSetting"/"Res" through ClampSamplesPerDiv.
void LoadHorizSetting(const CProfile& profile, int& nSamplesPerDiv);
/// Every setting the view starts with: serial, channel count, channel attributes, horizontal.
void LoadAllFromProfile(const CProfile& profile, SCommSetting& comm, CkestDoc& doc,
                        int& nSamplesPerDiv);
/// "Settings"/"PreviewPages": the pages the print preview showed side by side when it was last
/// closed (1 or 2), 0 when none is stored.
int LoadPreviewPages(const CProfile& profile);
/// COM number -> device path entries of the section "Ports" (keys COM1..COM32, blanks around
/// the path dropped, empty entries left out).
QMap<int, QString> LoadPortOverrides(const CProfile& profile);

/// "Publish": Enabled, Url, Topic, Qos, Format, ClientId, User, PasswordFile, CaFile, QueueLines.
/// QoS and the queue size are clamped, an unknown format is line, and publishing is off when
/// the URL or a set topic would be refused.
SPublishSettings LoadPublishSettings(const CProfile& profile);

/// The profile of the program at strExePath: the per-user file for an installed program (one
/// whose documentation lies in ../share/doc/kest beside its bin directory), otherwise
/// ChooseProfilePath.
QString ProgramProfilePath(const QString& strExePath);

bool SaveCommSetting(CProfile& profile, const SCommSetting& comm);
bool SaveChannelCount(CProfile& profile, const CkestDoc& doc);
bool SaveHorizSetting(CProfile& profile, int nSamplesPerDiv);
bool SavePreviewPages(CProfile& profile, int nPages);
bool SavePublishSettings(CProfile& profile, const SPublishSettings& settings);
/// All eight "VSetting%d" sections, whatever the channel count.
bool SaveChannelAttrs(CProfile& profile, const CkestDoc& doc);

/// Every setting, in the order a loaded settings file is written back: serial, channel count,
/// channel attributes, horizontal.
bool SaveAllToProfile(CProfile& profile, const SCommSetting& comm, const CkestDoc& doc,
                      int nSamplesPerDiv);
