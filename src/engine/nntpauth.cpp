#include "engine/nntpauth.h"

#include "settings/runningsettings.h"

namespace {

const QString kCrLf = QStringLiteral("\r\n");

bool hasCode(QStringView line, QStringView code)
{
    return line.startsWith(code) && (line.size() == code.size() || !line.at(code.size()).isDigit());
}

} // namespace

NntpAuth::Settings NntpAuth::Settings::from(const RunningSettings &running)
{
    return {running.sendModeReader(), running.user, running.pass};
}

QString NntpAuth::refusedText(const QString &serverReply)
{
    return QStringLiteral("認証に失敗しました: ") + serverReply;
}

QString NntpAuth::modeReaderRefusedText(const QString &reply)
{
    return QStringLiteral("MODE READERが拒否されました: ") + reply;
}

QString NntpAuth::badCharacterText()
{
    return QStringLiteral("ユーザー名かパスワードに改行などの使えない文字が含まれています");
}

QString NntpAuth::noPasswordText(const QString &serverReply)
{
    return QStringLiteral("パスワードが設定されていません: ") + serverReply;
}

void NntpAuth::reset(const Settings &settings)
{
    m_settings = settings;
    m_steps.clear();
    m_pending = false;
    m_authenticated = false;
    m_fresh = false;
    m_failure.clear();
}

bool NntpAuth::credentialsSendable() const
{
    // A line end would end the command and start another (RFC 4643 section
    // 3.1: NUL, CR and LF are the bytes a user name or password cannot hold).
    const auto clean = [](const QString &s) {
        for (const QChar c : s) {
            if (c == u'\r' || c == u'\n' || c == u'\0')
                return false;
        }
        return true;
    };
    return clean(m_settings.user) && clean(m_settings.pass);
}

NntpAuth::Reply NntpAuth::fail(const QString &text)
{
    m_failure = text;
    m_steps.clear();
    m_pending = false;
    return Reply::Fail;
}

NntpAuth::Reply NntpAuth::startSteps(QList<Step> steps)
{
    if (steps.isEmpty())
        return Reply::Pass;
    if (steps.contains(Step::User) && !credentialsSendable())
        return fail(badCharacterText());
    m_steps = std::move(steps);
    m_pending = true;
    return Reply::Taken;
}

NntpAuth::Reply NntpAuth::begin()
{
    QList<Step> steps;
    // RFC 4643 section 2.2: MODE READER comes before authentication.
    if (m_settings.modeReader)
        steps << Step::ModeReader;
    if (!m_settings.user.isEmpty())
        steps << Step::User;
    return startSteps(std::move(steps));
}

QString NntpAuth::takeCommand()
{
    if (!m_pending || m_steps.isEmpty())
        return {};
    m_pending = false;
    switch (m_steps.constFirst()) {
    case Step::ModeReader:
        return QStringLiteral("MODE READER") + kCrLf;
    case Step::User:
        return QStringLiteral("AUTHINFO USER ") + m_settings.user + kCrLf;
    case Step::Pass:
        return QStringLiteral("AUTHINFO PASS ") + m_settings.pass + kCrLf;
    }
    return {};
}

NntpAuth::Reply NntpAuth::stepDone()
{
    m_steps.removeFirst();
    if (m_steps.isEmpty())
        return Reply::Resume;
    m_pending = true;
    return Reply::Taken;
}

NntpAuth::Reply NntpAuth::reply(QStringView line)
{
    const bool challenge = hasCode(line, u"480");
    if (m_steps.isEmpty()) {
        // RFC 4643 section 2.2: 480 asks for authentication; the command that
        // got it is sent again afterwards. Without a user name the
        // conversation handles it as any refusal.
        if (!challenge || m_settings.user.isEmpty()) {
            m_fresh = false;
            return Reply::Pass;
        }
        if (m_fresh)
            return fail(refusedText(line.toString()));
        return startSteps({Step::User});
    }
    if (m_pending)
        return Reply::Taken; // left over from before our command went out

    switch (m_steps.constFirst()) {
    case Step::ModeReader:
        if (challenge) {
            if (m_settings.user.isEmpty() || m_fresh)
                return fail(modeReaderRefusedText(line.toString()));
            return startSteps({Step::User, Step::ModeReader});
        }
        // 502: no reading here; a 4xx: not now. A server that does not know
        // the command (500, 501) serves readers anyway.
        if (line.startsWith(u'4') || hasCode(line, u"502"))
            return fail(modeReaderRefusedText(line.toString()));
        m_fresh = false;
        return stepDone();
    case Step::User:
        if (hasCode(line, u"281")) {
            m_authenticated = true;
            m_fresh = true;
            return stepDone();
        }
        if (hasCode(line, u"381")) {
            if (m_settings.pass.isEmpty())
                return fail(noPasswordText(line.toString()));
            m_steps.first() = Step::Pass;
            m_pending = true;
            return Reply::Taken;
        }
        return fail(refusedText(line.toString()));
    case Step::Pass:
        if (hasCode(line, u"281")) {
            m_authenticated = true;
            m_fresh = true;
            return stepDone();
        }
        return fail(refusedText(line.toString()));
    }
    return Reply::Pass;
}
