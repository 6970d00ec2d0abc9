#pragma once
#include "forms.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class ZVMap;

// The picture chooser: lists the picture files of one folder, previews the clicked one,
// and can bring a picture from elsewhere into that folder. It answers a bare file name
// through SetSysMapChoice ("" when cancelled). Opened only through ChooseSystemMap, which
// calls LoadForm and then shows it modally.
class frmOpenSysMap : public KrvForm<QDialog> {
    Q_OBJECT
public:
    explicit frmOpenSysMap(QWidget* parent = nullptr);

    // Keeps folder (given with a trailing separator); lists it and takes title as the
    // caption when it exists, otherwise lists the current folder under the caption "Open".
    Q_INVOKABLE void LoadForm(QString title, QString folder);

    // The folder given to LoadForm, and the folder the list shows.
    QString keptFolder() const { return m_folder; }
    QString listFolder() const { return m_listFolder; }
    // The list's file names, in order.
    QStringList listedFiles() const;

    // The file types and their list patterns, in list order.
    static const QList<QPair<QString, QString>>& FileTypes();
    static QString BrowseFilter();

    QLabel* lblFileTypes;
    QComboBox* cboFileType;
    QListWidget* File1;
    ZVMap* ZVMap1;
    QPushButton* cmdOpen;
    QPushButton* cmdCancel;
    QPushButton* cmdBrowse;

    void cboFileType_Click();
    void File1_Click();
    void cmdOpen_Click();
    void cmdCancel_Click();
    void cmdBrowse_Click();

protected:
    void FormUnload() override;
    void reject() override { cmdCancel_Click(); }
    void resizeEvent(QResizeEvent* event) override;

private:
    void refreshFiles();
    void answer(const QString& fileName);

    QString m_folder;
    QString m_listFolder;
    QStringList m_patterns;
    bool m_answered = false;
};
