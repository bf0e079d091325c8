#pragma once
#include <QObject>
#include <QString>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

class QFileSystemModel;
class QMenu;

namespace tessaly::app {

class MainWindow;
class InfoWindow;
class ScreenshotWindow;

// Gives the "Open variables" page its behaviour: the drive and folder choice, the file
// list with descriptions, the information row and variable list of the selected file,
// the companion screenshot and text windows, Delete, F2 and the description editor, and
// the enabling of the buttons that SendBinding acts on.
class BrowserBinding : public QObject {
    Q_OBJECT
public:
    BrowserBinding(MainWindow& form, InfoWindow* info, ScreenshotWindow* scr);
    ~BrowserBinding() override;

    // The browsed folder; choosing another re-reads it.
    const std::filesystem::path& folder() const { return m_folder; }
    // remember: the folder becomes the Directory and Drive settings; the folder shown at
    // start leaves them as they were read (a path an earlier tessaly92 stored that does not exist here stays).
    void setfolder(const std::filesystem::path& folder, bool remember = true);
    // Re-reads the folder and rebuilds the file list (after a save, an edit or a delete).
    void refresh();
    // The mask that the TXT-files and TI92-files boxes make.
    const std::string& mask() const { return m_mask; }
    // The file list's context menu: Send, Install, Restore backup (a later model's group
    // file, after a question), the description and Delete, each
    // enabled as its button or key would act. Made afresh for each right click.
    QMenu* contextmenu();
    // Deleting moves a file to the desktop's trash; false where there is no trash (or it
    // failed), and the file is then deleted for good only after the user said yes.
    std::function<bool(const std::filesystem::path&)> movetotrash;

public slots:
    void refreshbuttonClick();
    void filetypesChange();
    void filelistChange();
    void contentlistChange();
    void descriptionlabelClick();
    void driveboxChange(int index);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void filldrives();
    void filenamesChange();
    void showfileinfo(const std::string& name);
    void clearinfo();
    void showcompanions(const std::string& name);
    void deleteselected();
    void restoreselected();
    bool deleteone(const std::string& name);
    std::vector<std::string> selectednames() const;
    void selectname(const std::string& name);

    MainWindow& m_form;
    InfoWindow* m_info;
    ScreenshotWindow* m_scr;
    QFileSystemModel* m_folders = nullptr;
    std::filesystem::path m_folder;
    std::string m_mask;
    bool m_rebuilding = false;
    unsigned m_generation = 0;  // a newer rebuild ends an older one that is still filling
};

} // namespace tessaly::app
