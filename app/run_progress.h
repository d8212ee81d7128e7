// The dialog a long conversion run shows: files and lines done, and a Cancel button. The window
// talks to it through this interface, so tests can cancel a run without a real dialog.
#pragma once

#include <QPointer>
#include <QString>
#include <QtGlobal>
#include <memory>

class QProgressDialog;
class QWidget;

namespace quarrytab {

class RunProgress {
  public:
    virtual ~RunProgress() = default;

    // Shows the dialog modal to the window and returns when finish() is called (false) or the
    // user cancelled the run (true).
    virtual bool exec(int fileCount) = 0;
    // The file being converted (from 1), the lines converted so far over all files, and the
    // bytes read of all the files' bytes (0 when their sizes cannot be told).
    virtual void update(int fileNumber, int fileCount, quint64 lines, quint64 bytesDone,
                        quint64 bytesTotal) = 0;
    // The run has ended: closes the dialog, so exec() returns false.
    virtual void finish() = 0;
};

// The real dialog: a QProgressDialog modal to the owner window.
class DialogRunProgress final : public RunProgress {
  public:
    DialogRunProgress(QWidget* owner, QString title);
    ~DialogRunProgress() override;

    bool exec(int fileCount) override;
    void update(int fileNumber, int fileCount, quint64 lines, quint64 bytesDone,
                quint64 bytesTotal) override;
    void finish() override;

  private:
    QWidget* m_owner;
    QString m_title;
    QPointer<QProgressDialog> m_dialog;
    bool m_finished = false;
};

// The text the dialog shows: which file of how many and the lines done.
QString RunProgressText(int fileNumber, int fileCount, quint64 lines);

// How far the run has come, from 0 to kRunProgressSteps: by the bytes read, so one big file
// moves the bar too; by the files begun when the sizes cannot be told.
inline constexpr int kRunProgressSteps = 1000;
int RunProgressValue(int fileNumber, int fileCount, quint64 bytesDone, quint64 bytesTotal);

}  // namespace quarrytab
