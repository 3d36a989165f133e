#include "schedule/dialupoptions.h"

#include "core/prompter.h"
#include "schedule/dialup.h"
#include "schedule/scheduler.h"
#include "settings/runningsettings.h"
#include "settings/settingsstore.h"
#include "settings/textvalue.h"

DialUpOptions::DialUpOptions(RunningSettings &settings, SettingsStore &store, Prompter &prompter)
    : m_settings(settings), m_store(store), m_prompter(prompter)
{
}

QString DialUpOptions::notNumberMessage()
{
    return QStringLiteral("数字を入れてください");
}

DialUpOptions::Form DialUpOptions::Form_Load(DialUp &dialUp) const
{
    Form f;
    f.items << Scheduler::noDialUp() << dialUp.entries();
    f.combo1 = m_settings.address;
    f.text1 = m_settings.interval;
    return f;
}

bool DialUpOptions::cmdOK_Click(const QString &combo1, const QString &text1)
{
    if (!TextValue::isNumeric(text1)) {
        m_prompter.message(notNumberMessage());
        return false;
    }
    const QString section = QString::fromLatin1(Keys::Remote);
    SettingsBatch batch(m_store);
    m_store.write(section, QStringLiteral("ADDRESS"), combo1);
    m_store.write(section, QStringLiteral("INTERVAL"), text1);
    if (!batch.commit()) {
        const QString why = m_store.errorString();
        m_prompter.message(why.isEmpty()
                               ? QStringLiteral("設定ファイルに書き込めません: ") + m_store.path()
                               : why);
        return false;
    }
    m_settings.address = combo1;
    m_settings.interval = text1;
    return true;
}
