#include "filelist/sample_files.h"

#include <QDir>

#include "filelist/folder_walk.h"

namespace quarrytab {

QString SampleFolder(const QString& programFolder) {
    return programFolder + QDir::separator() + QStringLiteral("Samples");
}

QString SampleSnapshot(const QString& programFolder) {
    const QString prefix = SampleFolder(programFolder) + QDir::separator();
    QStringList paths;
    for (const QString& name :
         GetFilesInFolder(SampleFolder(programFolder), QStringLiteral("*.*"))) {
        paths.append(prefix + name);
    }
    return paths.join(QLatin1Char('|'));
}

QStringList SnapshotPaths(const QString& snapshot) {
    if (snapshot.isEmpty()) {
        return {};
    }
    return snapshot.split(QLatin1Char('|'));
}

}  // namespace quarrytab
