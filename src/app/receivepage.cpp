#include "app/receivepage.h"

#include <algorithm>

#include "files/filename.h"
#include "files/flashfile.h"
#include "files/safefile.h"
#include "link/packets.h"
#include "link/typenames.h"
#include "transfers/flash.h"
#include "transfers/session.h"

namespace tessaly::app {

namespace {

std::vector<ListRow> unselected(const std::vector<ListRow>& rows) {
    std::vector<ListRow> copy = rows;
    for (auto& r : copy) r.selected = false;
    return copy;
}

// The rows that show a folder holding no variable: a later model lists its folders of its
// own, and such a folder would otherwise be invisible; the TI-92's list has never shown a
// folder entry as a row, and keeps to that.
std::vector<ListRow> emptyfolderrows(const CalculatorModel& model, const DirectoryListing& listing) {
    std::vector<ListRow> rows;
    if (!model.folderlisting) return rows;
    for (const std::string& folder : listing.emptyfolders()) rows.push_back(folderrow(model, folder));
    return rows;
}

std::vector<ListRow> applicationrows(const DirectoryListing& listing) {
    std::vector<ListRow> rows;
    for (const ListRow& r : listing.rows)
        if (isapplicationrow(r)) rows.push_back(r);
    return rows;
}

// The calculator view: the variables, each folder that holds none, then the applications,
// which live in no folder and are a group of their own.
std::vector<ListRow> viewrows(const CalculatorModel& model, const DirectoryListing& listing) {
    std::vector<ListRow> rows;
    for (const ListRow& r : unselected(listing.rows))
        if (!isapplicationrow(r)) rows.push_back(r);
    for (ListRow& r : emptyfolderrows(model, listing)) rows.push_back(std::move(r));
    for (ListRow& r : unselected(applicationrows(listing))) rows.push_back(std::move(r));
    return rows;
}
} // namespace

ReceivePageModel::ReceivePageModel(Link& link, Shell& shell, const PackageStore& store)
    : m_link(link), m_shell(shell), m_store(store) {
    showstore();  // the store outlives the program: what it held at the last run is still there
}

IncomingPackage::IncomingPackage(const PackageStore& store)
    : m_store(store), m_incoming(store.folder() / "incoming") {
    clear();  // what a run that was killed left
}

IncomingPackage::~IncomingPackage() {
    clear();
    std::error_code ec;
    std::filesystem::remove(m_incoming.folder(), ec);
}

void IncomingPackage::clear() {
    std::error_code ec;
    std::filesystem::remove(m_incoming.indexpath(), ec);
    std::filesystem::remove(m_incoming.datapath(), ec);
}

bool IncomingPackage::keep(std::string* error) {
    if (!m_incoming.holdsvariables()) return true;
    // The data first: an index never names bytes that are not there.
    std::error_code ec;
    std::filesystem::rename(m_incoming.datapath(), m_store.datapath(), ec);
    if (!ec) std::filesystem::rename(m_incoming.indexpath(), m_store.indexpath(), ec);
    if (ec && error) *error = "Cannot write the package store in " + m_store.folder().string() + ": " + ec.message();
    return !ec;
}

void ReceivePageModel::showstore() {
    std::vector<PackageRecord> records = m_store.readrecords(nullptr).value_or(std::vector<PackageRecord>{});
    const auto same = [](const PackageRecord& a, const PackageRecord& b) {
        return a.name == b.name && a.start == b.start && a.end == b.end && a.size == b.size && a.type == b.type;
    };
    if (!std::equal(records.begin(), records.end(), m_storerecords.begin(), m_storerecords.end(), same))
        m_comment.clear();
    m_storerecords = std::move(records);
    m_locview.clear();
    for (const PackageRecord& r : m_storerecords)
        m_locview.push_back(variablerow(r.name, r.type, static_cast<std::uint32_t>(std::max(r.size, 0))));
    if (!m_viewflag) {
        showrows(m_locview);
        m_packageflag = !m_rows.empty();
        m_savetofileenabled = m_packageflag;
        m_viewenabled = false;
    }
    changed(Change::Controls);
}

void ReceivePageModel::setselected(std::size_t row, bool selected) {
    if (row < m_rows.size() && !isfolderrow(m_link.model(), m_rows[row])) m_rows[row].selected = selected;
}

void ReceivePageModel::selectall(bool selected) {
    for (auto& r : m_rows) r.selected = selected && !isfolderrow(m_link.model(), r);
}

void ReceivePageModel::setcalculatordown(bool down) {
    m_calculatordown = down;
    m_receiveddown = !down;
}

void ReceivePageModel::setsavetofileenabled(bool enabled) {
    m_savetofileenabled = enabled;
    changed(Change::Controls);
}

void ReceivePageModel::showrows(const std::vector<ListRow>& rows) {
    m_rows = unselected(rows);
    changed(Change::Rows);
}

void ReceivePageModel::clearrows() {
    m_rows.clear();
    changed(Change::Rows);
}

void ReceivePageModel::addrow(ListRow row) {
    row.selected = false;
    m_rows.push_back(std::move(row));
    changed(Change::RowAdded);
}

void ReceivePageModel::droprow() {
    if (m_rows.empty()) return;
    m_rows.pop_back();
    changed(Change::RowRemoved);
}

bool ReceivePageModel::anyselected() const {
    return std::any_of(m_rows.begin(), m_rows.end(), [](const ListRow& r) { return r.selected; });
}

ReceiveTarget ReceivePageModel::target(const PackageStore& into) {
    return ReceiveTarget{m_shell,
                         into,
                         m_manual,
                         m_storefolder,
                         [this](ListRow r) { addrow(std::move(r)); },
                         [this] { droprow(); },
                         [this] { receivingvariable(); },
                         [this] { variablereceived(); }};
}

void ReceivePageModel::updatedirectorylist() {
    TransferSession session(m_link.state(), m_shell);
    if (!session) return;
    m_packageflag = false;
    clearrows();
    m_savetofileenabled = false;
    m_viewenabled = false;
    changed(Change::Controls);

    const DirectoryListing listing = directorylisting(m_link, m_shell, [this](const ListRow& r) {
        if (!isapplicationrow(r)) addrow(r);
    });
    for (const ListRow& r : emptyfolderrows(m_link.model(), listing)) addrow(r);
    for (const ListRow& r : applicationrows(listing)) addrow(r);
    if (listing.answered) {
        m_helptext = kLabelMarkVariables;
        changed(Change::Controls);
    }
}

void ReceivePageModel::showlisting(const DirectoryListing& listing) {
    if (m_viewflag)
        showrows(viewrows(m_link.model(), listing));
    else
        m_calcview = viewrows(m_link.model(), listing);
}

void ReceivePageModel::showcalculator() {
    if (m_calculatordown == m_viewflag) return;
    m_locview = unselected(m_rows);
    clearrows();
    showrows(m_calcview);
    m_viewflag = true;
    m_receiveenabled = m_manual || anyselected();
    m_savetofileenabled = false;
    m_viewenabled = false;
    m_updateenabled = true;
    changed(Change::Controls);
}

void ReceivePageModel::showreceived() {
    if (m_receiveddown != m_viewflag) return;
    m_calcview = unselected(m_rows);
    m_shell.processmessages();
    clearrows();
    showrows(m_locview);
    m_viewflag = false;
    m_packageflag = !m_rows.empty();
    m_receiveenabled = m_manual;
    if (m_packageflag) m_savetofileenabled = true;
    m_updateenabled = false;
    changed(Change::Controls);
}

void ReceivePageModel::optionclicked() {
    m_receiveenabled = m_manual || (m_viewflag && anyselected());
    changed(Change::Controls);
}

void ReceivePageModel::selectionchanged() {
    const bool selected = anyselected();
    if (m_viewflag) m_receiveenabled = selected;
    if (m_packageflag) {
        const auto first = std::find_if(m_rows.begin(), m_rows.end(), [](const ListRow& r) { return r.selected; });
        m_viewenabled = first != m_rows.end() && first->type == m_link.model().texttype;
    }
    changed(Change::Controls);
}

void ReceivePageModel::receiveselected() {
    TransferSession session(m_link.state(), m_shell);
    if (!session) return;
    if (m_manual)
        receivefromcalc();
    else
        receiverequested();
}

void ReceivePageModel::settle(IncomingPackage& incoming, bool whole, std::string comment) {
    std::string error;
    if (whole && !incoming.keep(&error)) m_link.faillink(error);
    if (!whole) m_comment = std::move(comment);
}

void ReceivePageModel::receivingvariable() {
    m_receiveenabled = false;
    m_savetofileenabled = false;
    m_viewenabled = false;
    m_comment.clear();
    changed(Change::Controls);
}

void ReceivePageModel::variablereceived() {
    m_receiveenabled = true;
    m_savetofileenabled = !m_rows.empty();
    m_helptext = kLabelSaveRequest;
    changed(Change::Controls);
}

void ReceivePageModel::receiverequested() {
    m_receiveenabled = false;
    changed(Change::Controls);

    // Every marked row is asked for; there is no fixed number of entries.
    std::vector<RequestEntry> entries;
    std::vector<std::string> applications;
    for (const ListRow& r : m_rows)
        if (r.selected && isapplicationrow(r))
            applications.push_back(r.caption);
        else if (r.selected && !isfolderrow(m_link.model(), r))
            entries.push_back({r.caption.substr(0, kPackageNameSize), r.type, r.archived, r.locked});
    // An application is no variable of the package: each is saved as a file of its own.
    if (!applications.empty()) {
        receiveapplications(applications);
        if (entries.empty() || !m_link.state().linkok) {
            m_receiveenabled = true;
            changed(Change::Controls);
            return;
        }
    }
    if (!entries.empty()) {
        setcalculatordown(false);
        showreceived();
        clearrows();
        m_packageflag = true;
    }
    IncomingPackage incoming(m_store);
    ReceiveTarget into = target(incoming.store());
    const std::string comment = m_comment;
    const ReceiveResult result = tessaly::receiverequested(m_link, into, entries);
    // Names the calculator refused leave what it did send whole.
    settle(incoming, m_link.state().linkok || m_link.state().pendingerror.starts_with(kNotReceivedText), comment);

    m_shell.working(Work::Ended);
    // The Cancel routine has said what happened; a count would hide it.
    if (!cancelled(m_link.state()))
        m_shell.setstatus(std::to_string(result.received.size()) + std::string(kVariablesReceivedText));
    m_receiveenabled = true;
    // A receive cut short keeps the package before it in the store: the list says so.
    showstore();
}

void ReceivePageModel::receiveapplications(const std::vector<std::string>& names) {
    const CalculatorModel& model = m_link.model();
    const std::string suffix = flashsuffix(model, kFlashApplication);
    for (const std::string& name : names) {
        // Asked before anything is fetched: a cancelled dialog costs no transfer.
        const FileDialogSpec spec{.filename = name + suffix,
                                  .filter = std::string(model.name) + " applications|*" + suffix,
                                  .title = "Save application as..",
                                  .defaultext = suffix.substr(1)};
        const std::optional<std::string> path = m_shell.savedialog(spec);
        if (!path) continue;
        std::string why;
        if (!savetarget(*path, &why)) return m_link.faillink(why);
        const std::optional<FlashFile> file = receiveapplication(m_link, m_shell, name);
        if (!file) return;
        if (!writeflashfile(*path, *file, &why)) return m_link.faillink(why);
        m_shell.setstatus(name + " saved as " + *path + ".");
    }
}

void ReceivePageModel::receivefromcalc() {
    const std::string comment = m_comment;
    m_receiveenabled = false;
    m_savetofileenabled = false;
    m_viewenabled = false;
    m_comment.clear();
    m_helptext = kLabelSelectOnCalc;
    changed(Change::Controls);
    setcalculatordown(false);
    showreceived();
    clearrows();
    m_shell.processmessages();

    IncomingPackage incoming(m_store);
    ReceiveTarget into = target(incoming.store());
    tessaly::receivefromcalc(m_link, into);
    settle(incoming, m_link.state().linkok, comment);

    m_receiveenabled = true;
    m_helptext = kLabelSaveSelect;
    showstore();
}

} // namespace tessaly::app
