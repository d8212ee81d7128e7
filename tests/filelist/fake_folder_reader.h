// An in-memory folder tree whose folders can be made to fail in any way, for the walk's tests.
#pragma once

#include <QDir>
#include <QString>
#include <QStringList>
#include <map>

#include "filelist/folder_reader.h"

class FakeFolderReader : public quarrytab::FolderReader {
  public:
    struct Folder {
        QList<quarrytab::FolderEntry> entries;
        std::uint32_t attributes = quarrytab::attributes::kDirectory;
        bool isRoot = false;
        quarrytab::ReadError attributesError = quarrytab::ReadError::None;
        // The listing breaks off with this error after `entriesBeforeError` entries.
        quarrytab::ReadError listError = quarrytab::ReadError::None;
        qsizetype entriesBeforeError = 0;
    };

    // Adds a folder (and its parents) given as "/"-separated text; returns it for adjusting.
    Folder& addFolder(const QString& path) {
        const QString key = keyOf(path);
        if (m_folders.count(key) == 0) {
            const qsizetype cut = key.lastIndexOf(QDir::separator(), -2);
            if (cut > 0) {
                const QString parent = key.left(cut + 1);
                addFolder(parent);
                const QString name = key.mid(cut + 1).chopped(1);
                m_folders[parent].entries.push_back({name, quarrytab::attributes::kDirectory});
            }
            m_folders[key];
        }
        return m_folders[key];
    }
    void addFile(const QString& folder, const QString& name) {
        addFolder(folder).entries.push_back({name, quarrytab::attributes::kArchive});
    }
    Folder& folder(const QString& path) { return m_folders.at(keyOf(path)); }

    bool folderExists(const QString& path) override { return m_folders.count(keyOf(path)) != 0; }
    bool fileExists(const QString& path) override { return !missingFiles.contains(path); }
    quarrytab::PathAttributes attributesOf(const QString& path) override {
        quarrytab::PathAttributes result;
        const auto found = m_folders.find(keyOf(path));
        if (found == m_folders.end()) {
            result.error = quarrytab::ReadError::PathNotFound;
            return result;
        }
        result.attributes = found->second.attributes;
        result.isRoot = found->second.isRoot;
        result.error = found->second.attributesError;
        result.errorText = QStringLiteral("attributes failed");
        return result;
    }
    quarrytab::FolderListing list(const QString& folder) override {
        quarrytab::FolderListing listing;
        const auto found = m_folders.find(keyOf(folder));
        if (found == m_folders.end()) {
            listing.error = quarrytab::ReadError::PathNotFound;
            return listing;
        }
        listing.entries = found->second.entries;
        listing.error = found->second.listError;
        listing.errorText = QStringLiteral("listing failed");
        if (listing.error != quarrytab::ReadError::None)
            listing.entries = listing.entries.mid(0, found->second.entriesBeforeError);
        return listing;
    }

    QStringList missingFiles;  // files the probe does not find although the listing shows them

  private:
    static QString keyOf(const QString& path) {
        const QString native = QDir::toNativeSeparators(path);
        return native.endsWith(QDir::separator()) ? native : native + QDir::separator();
    }
    std::map<QString, Folder> m_folders;
};
