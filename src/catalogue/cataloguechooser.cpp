#include "catalogue/cataloguechooser.h"

#include "catalogue/cataloguefile.h"
#include "catalogue/cataloguesession.h"
#include "core/prompter.h"
#include "settings/runningsettings.h"
#include "settings/settingsstore.h"

namespace {

const QString kTimeKey = QStringLiteral("TIME");

} // namespace

class CatalogueChooser::BusyPointer final {
public:
    explicit BusyPointer(const std::function<void(bool)> &set) : m_set(set)
    {
        if (m_set)
            m_set(true);
    }
    ~BusyPointer()
    {
        if (m_set)
            m_set(false);
    }
    BusyPointer(const BusyPointer &) = delete;
    BusyPointer &operator=(const BusyPointer &) = delete;

private:
    const std::function<void(bool)> &m_set;
};

CatalogueChooser::CatalogueChooser(CatalogueSession &session, SettingsStore &store,
                                   const RunningSettings &settings, Prompter &prompter)
    : m_session(session), m_store(store), m_settings(settings), m_prompter(prompter)
{
}

QString CatalogueChooser::noSelectionMessage()
{
    return QStringLiteral("ﾆｭｰｽｸﾞﾙｰﾌﾟが選択されていません");
}

QString CatalogueChooser::sinceValueOf(const QDateTime &localTime)
{
    return localTime.toString(QStringLiteral("yyMMdd HHmmss"));
}

QString CatalogueChooser::path() const
{
    return CatalogueFile::path(m_settings.saveDir);
}

bool CatalogueChooser::Form_Load()
{
    CatalogueFile::LoadResult r;
    {
        BusyPointer busy(setBusy);
        m_session.sinceValue = m_store.read(QString::fromLatin1(Keys::Server), kTimeKey,
                                            CatalogueSession::defaultSince());
        m_list1.clear();
        m_list2.clear();
        r = CatalogueFile::load(path());
        if (r.status == CatalogueFile::LoadResult::Loaded)
            m_list1.setNames(std::move(r.names));
    }
    // Told after the pointer is back. The window still opens, with an empty
    // catalogue: a fetch can build a new one.
    if (r.status == CatalogueFile::LoadResult::Failed) {
        m_prompter.message(r.error);
        return false;
    }
    return true;
}

bool CatalogueChooser::SaveGroups()
{
    QString error;
    bool written;
    {
        BusyPointer busy(setBusy);
        flush();
        written = CatalogueFile::save(path(), m_list1.names(), &error);
    }
    if (!written) {
        // TIME stays at the last catalogue that reached the disk, so a later
        // new-groups fetch still asks for everything since then.
        m_prompter.message(error);
        return false;
    }
    m_session.sinceValue = sinceValueOf(now());
    if (!m_store.write(QString::fromLatin1(Keys::Server), kTimeKey, m_session.sinceValue)) {
        const QString why = m_store.errorString();
        m_prompter.message(why.isEmpty()
                               ? QStringLiteral("設定ファイルに書き込めません: ") + m_store.path()
                               : why);
    }
    return true;
}

void CatalogueChooser::List1_Click(int row)
{
    if (row >= 0 && row < m_list1.count())
        m_session.chosenName = m_list1.at(row);
}

void CatalogueChooser::List2_Click(int row)
{
    if (row >= 0 && row < m_list2.count())
        m_session.chosenName = m_list2.at(row);
}

std::optional<QString> CatalogueChooser::cmdOK_Click()
{
    m_session.sinceValue = sinceValueOf(now());
    if (m_session.chosenName.isEmpty()) {
        m_prompter.message(noSelectionMessage());
        return std::nullopt;
    }
    return m_session.chosenName;
}

void CatalogueChooser::addName(const QString &name, bool newOnly)
{
    m_list1.add(name);
    if (newOnly)
        m_list2.add(name);
}

void CatalogueChooser::flush()
{
    m_list1.flush();
    m_list2.flush();
}
