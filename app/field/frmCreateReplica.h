#pragma once
#include "forms.h"

#include <QDialog>
#include <cstdint>
#include <memory>

class QComboBox;
class QFileSystemModel;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTreeView;

namespace Varnock {
class Synchronizer;
}

// Makes one or more field replicas of the open tunnel database in a chosen folder, with
// the synchronizer's progress. Modal, opened by the set-up window.
//
// The drive list holds the mounted volumes (a memory stick shows up there), the folder
// list the folders of the chosen volume.
class frmCreateReplica : public KrvForm<QDialog> {
    Q_OBJECT
public:
    explicit frmCreateReplica(QWidget* parent = nullptr);
    ~frmCreateReplica() override;

    // The folder the replicas go to, and choosing one (its volume becomes the drive).
    QString dirPath() const { return m_dirPath; }
    void setDirPath(const QString& folder);
    // True while replicas are being made.
    bool isMaking() const { return m_making; }
    // The chosen folder is the list's current row, selected, wholly in sight.
    bool chosenFolderInSight() const;

    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QComboBox* drvList;
    QTreeView* dirList;
    QLineEdit* txtFileName;
    QLineEdit* txtNumReps;
    QSpinBox* UpDown1;
    QPushButton* cmdCreateRep;
    QPushButton* cmdCancel;
    QLabel* lblStatus;
    QProgressBar* prgStatus;

    void cmdCreateRep_Click();
    void cmdCancel_Click();
    // The synchronizer's events.
    void Synch_BeginMakeReplica();
    void Synch_MakeReplicaProgress(std::int32_t& done, std::int32_t& total, bool& cancel);

protected:
    // Escape and the close box do nothing while a replica is being made.
    void reject() override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool QueryUnload() override { return !m_making; }

private:
    void drvList_Change();
    void dirList_Change();
    void showVolume(const QString& root);
    void showChosenFolder();
    void keepChosenFolderInSight();
    void chosenFolderGone();
    void clearGone();
    void endMaking();

    QFileSystemModel* m_folders;
    QString m_dirPath;
    QString m_drive;
    std::unique_ptr<Varnock::Synchronizer> Synch;
    std::int16_t m_current = 0;
    std::int16_t m_requested = 0;
    bool m_making = false;
    bool m_showing = false;
    bool m_removingRows = false;
    bool m_followLoads = false;   // the chosen folder is shown again as the list reads its way there
    bool m_sightQueued = false;
    bool m_goneShown = false;  // the status says the chosen folder is gone
};
