#pragma once
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "files/packagestore.h"
#include "link/link.h"
#include "transfers/directory.h"
#include "transfers/receive.h"
#include "app/dialogs.h"

namespace tessaly::app {

inline constexpr std::string_view kLabelMarkVariables =
    "mark the variables in the calculator view then press the receive button to transfer the selected "
    "variables to the computer.";
inline constexpr std::string_view kLabelSaveRequest =
    "if you want to save the package on your computer press the \"save to file\" button and write a name";
inline constexpr std::string_view kLabelSelectOnCalc =
    "select the files you want to send on your calculator and send them";
inline constexpr std::string_view kLabelSaveSelect =
    "if you want to save the package on your computer press the \"save to file button\" and write a name";

// A transfer's package, gathered in a store of its own beside the package store and put in
// its place only when the transfer ended well: after a failure or a Cancel, the variables
// received before it and not saved yet are still there, and nothing of what arrived is.
class IncomingPackage {
public:
    explicit IncomingPackage(const PackageStore& store);
    ~IncomingPackage();
    IncomingPackage(const IncomingPackage&) = delete;
    IncomingPackage& operator=(const IncomingPackage&) = delete;

    const PackageStore& store() const { return m_incoming; }
    // What arrived becomes the package; when nothing did, the one before stays. False with
    // why when it cannot be moved there.
    bool keep(std::string* error);

private:
    void clear();
    const PackageStore& m_store;
    PackageStore m_incoming;
};

// The receive page's state without its widgets: the list variablelist with its two hidden
// stores, the view and package flags, the toggles and check boxes, the enabled states of
// the page's buttons, the help line helplabel and the package comment commentedit, together with
// the handlers that change them and start the transfers. The window mirrors it and tells
// it what the user did.
class ReceivePageModel {
public:
    enum class Change {
        Rows,      // variablelist's rows were replaced or emptied
        RowAdded,  // one row appended at the end
        RowRemoved,// the last row went away
        Controls,  // toggles, check boxes, enabled states, helplabel, commentedit
    };

    ReceivePageModel(Link& link, Shell& shell, const PackageStore& store);

    // What the window shows.
    const std::vector<ListRow>& rows() const { return m_rows; }  // variablelist, current view
    // Whose type names the rows are shown with.
    const CalculatorModel& calculatormodel() const { return m_link.model(); }
    const std::vector<ListRow>& calcview() const { return m_calcview; }
    const std::vector<ListRow>& locview() const { return m_locview; }
    bool viewflag() const { return m_viewflag; }        // the calculator view shows
    bool packageflag() const { return m_packageflag; }  // the received list holds variables
    bool calculatordown() const { return m_calculatordown; }
    bool receiveddown() const { return m_receiveddown; }
    bool manual() const { return m_manual; }            // "Select on calc"
    bool storefolder() const { return m_storefolder; }  // "Store folder"
    bool receiveenabled() const { return m_receiveenabled; }
    bool savetofileenabled() const { return m_savetofileenabled; }
    bool viewenabled() const { return m_viewenabled; }
    bool updateenabled() const { return m_updateenabled; }
    const std::string& helptext() const { return m_helptext; }  // helplabel
    std::string& comment() { return m_comment; }                 // commentedit, the package comment
    const std::string& comment() const { return m_comment; }

    // What the user did to the widgets (no handler runs; the window calls it after).
    void setselected(std::size_t row, bool selected);
    void selectall(bool selected);
    void setmanual(bool checked) { m_manual = checked; }
    void setstorefolder(bool checked) { m_storefolder = checked; }
    void setcalculatordown(bool down);  // the group keeps exactly one toggle down
    void setcomment(std::string text) { m_comment = std::move(text); }
    void setsavetofileenabled(bool enabled);

    // Handlers.
    void updatedirectorylist();      // Update directorylist
    void receiveselected();       // Receive
    void showcalculator();  // to the calculator view
    void showreceived();  // to the received view
    void optionclicked();      // "Select on calc" or "Store folder" clicked
    void selectionchanged();
    // The received view is read from the package store: after a receive, and whenever
    // something else (a backup, a converted text) has filled the store. A package other
    // than the one before empties the comment box, which belonged to that one.
    void showstore();
    // A listing read by another transfer (after a command that changed the calculator)
    // becomes the calculator view, shown or kept in its store.
    void showlisting(const DirectoryListing& listing);

    std::function<void(Change)> onchange;

private:
    void receiverequested();
    void receivefromcalc();
    // Each named application asked for after its file's name, and written there whole.
    void receiveapplications(const std::vector<std::string>& names);
    void receivingvariable();
    void variablereceived();
    void changed(Change change) {
        if (onchange) onchange(change);
    }
    void showrows(const std::vector<ListRow>& rows);
    void clearrows();
    void addrow(ListRow row);
    void droprow();
    bool anyselected() const;
    ReceiveTarget target(const PackageStore& into);
    // After a transfer into incoming: what arrived is kept when it ended well, else the
    // package before it and its comment stay.
    void settle(IncomingPackage& incoming, bool whole, std::string comment);

    Link& m_link;
    Shell& m_shell;
    const PackageStore& m_store;

    std::vector<ListRow> m_rows, m_calcview, m_locview;
    bool m_viewflag = true;
    bool m_packageflag = false;
    bool m_calculatordown = true;
    bool m_receiveddown = false;
    bool m_manual = false;
    bool m_storefolder = true;
    bool m_receiveenabled = true;
    bool m_savetofileenabled = false;
    bool m_viewenabled = false;
    bool m_updateenabled = true;
    std::string m_helptext;
    std::string m_comment;
    std::vector<PackageRecord> m_storerecords;  // what the store held when last read
};

} // namespace tessaly::app
