// Helpers shared by the folder tests: a reporter that records, native paths from "/" text, and
// building real folder trees.
#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <filesystem>
#include <ostream>
#include <string>
#include <system_error>
#include <vector>

#include "engine/error_trap.h"
#include "support/recording_reporter.h"
#include "filelist/qt_text.h"

// Lets GoogleTest print QStrings and QStringLists in failure messages.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* out) {
    *out << "{";
    for (const QString& item : list) *out << "\n  \"" << item.toStdString() << '"';
    *out << " }";
}
QT_END_NAMESPACE

// "a/b/" with the platform's separator.
inline QString Native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// Creates the folders and (empty) files named relative to `root`; a name ending in "/" is a
// folder.
inline void MakeTree(const QString& root, const QStringList& names) {
    QDir base(root);
    for (const QString& name : names) {
        if (name.endsWith(u'/')) {
            ASSERT_TRUE(base.mkpath(name)) << name.toStdString();
        } else {
            const QString path = base.filePath(name);
            ASSERT_TRUE(base.mkpath(QFileInfo(path).path())) << name.toStdString();
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << name.toStdString();
        }
    }
}

// Makes `link` a symbolic link to `target`; false where the system does not let the test do so.
inline bool MakeLink(const QString& target, const QString& link) {
    std::error_code error;
    std::filesystem::create_symlink(quarrytab::ToFileSystemPath(target),
                                    quarrytab::ToFileSystemPath(link), error);
    return !error;
}
