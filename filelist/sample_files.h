// The example input files shipped in the "Samples" folder beside the program. The files present
// at the first start are recorded once, as their full paths joined by "|", and loading the samples
// later uses that record rather than the folder's current content.
#pragma once

#include <QString>
#include <QStringList>

namespace quarrytab {

inline constexpr char kSnapshotKey[] = "Snapshot";

// The sample folder: the program folder, a separator and "Samples".
QString SampleFolder(const QString& programFolder);

// The record of the sample files present now: the full path of every file (not folder) in the
// sample folder, in name order, joined by "|"; empty when there are none or no folder.
QString SampleSnapshot(const QString& programFolder);

// The paths of a record, in order; an empty record gives none.
QStringList SnapshotPaths(const QString& snapshot);

}  // namespace quarrytab
