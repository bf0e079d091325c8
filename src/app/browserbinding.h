#pragma once
#include <QObject>
#include <QString>
#include <filesystem>
#include <string>
#include <vector>

class QFileSystemModel;

namespace tessaly::app {

class TForm1;
class TInfoForm;
class TScrForm;

// Gives the "Open variables" page its behaviour: the drive and folder choice, the file
// list with descriptions, the information row and variable list of the selected file,
// the companion screenshot and text windows, Delete, F2 and the description editor, and
// the enabling of the buttons that SendBinding acts on.
class BrowserBinding : public QObject {
    Q_OBJECT
public:
    BrowserBinding(TForm1& form, TInfoForm* info, TScrForm* scr);
    ~BrowserBinding() override;

    // The browsed folder; choosing another re-reads it.
    const std::filesystem::path& folder() const { return m_folder; }
    // remember: the folder becomes the Directory and Drive settings; the folder shown at
    // start leaves them as they were read (a Windows path that does not exist here stays).
    void setfolder(const std::filesystem::path& folder, bool remember = true);
    // Re-reads the folder and rebuilds the file list (after a save, an edit or a delete).
    void refresh();
    // The mask that the TXT-files and TI92-files boxes make.
    const std::string& mask() const { return m_mask; }

public slots:
    void Button25Click();
    void CheckBox2Click();
    void ListView1Change();
    void ListView2Change();
    void label19Click();
    void DriveComboBox1Change(int index);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void filldrives();
    void FileListBox1Change();
    void showfileinfo(const std::string& name);
    void clearinfo();
    void showcompanions(const std::string& name);
    void deleteselected();
    std::vector<std::string> selectednames() const;
    void selectname(const std::string& name);

    TForm1& m_form;
    TInfoForm* m_info;
    TScrForm* m_scr;
    QFileSystemModel* m_folders = nullptr;
    std::filesystem::path m_folder;
    std::string m_mask;
    bool m_rebuilding = false;
    unsigned m_generation = 0;  // a newer rebuild ends an older one that is still filling
};

} // namespace tessaly::app
