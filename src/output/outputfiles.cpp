#include "output/outputfiles.h"

#include "output/naming.h"
#include "settings/textvalue.h"

#include <QFile>

#include <cerrno>
#include <cmath>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace {

// Big enough that a run of attachments costs few system calls, small enough
// to stay out of the way.
constexpr qsizetype BufferBytes = 64 * 1024;

QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

bool fail(FsFailure *f, FsError kind, int err)
{
    if (f) {
        f->kind = kind;
        f->description = OutputFiles::describe(err);
    }
    return false;
}

bool failWith(FsFailure *f, int err, const QString &lastLevel)
{
    return fail(f, OutputFiles::classify(err, lastLevel), err);
}

// Creates the last level of a path whose parent should exist.
bool makeDir(const QString &path, const QString &level, FsFailure *f)
{
    if (::mkdir(native(path).constData(), 0777) == 0)
        return true;
    const int err = errno;
    if (err == EEXIST)
        return true;
    if (err == ENOENT)
        return fail(f, FsError::PathNotFound, err);
    return failWith(f, err, level);
}

// One directory level below parent: a directory we can write into is used as
// it is; a missing one is created; anything else under that name moves the
// level to name(2), created when it does not exist.
bool settleLevel(QString &path, const QString &level, FsFailure *f)
{
    const QString parent = path;
    path = parent + QLatin1Char('/') + level;
    struct stat st;
    if (::stat(native(path).constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode) && ::access(native(path).constData(), W_OK | X_OK) == 0)
            return true;
        // A level already as long as a name may be loses characters at the
        // front, as every name does, rather than its "(2)".
        const QString level2 = keepLastUtf8Bytes(level + QStringLiteral("(2)"), kMaxNameBytes);
        path = parent + QLatin1Char('/') + level2;
        if (::stat(native(path).constData(), &st) == 0)
            return true;
        const int err = errno;
        if (err == ENOENT)
            return makeDir(path, level2, f);
        return failWith(f, err, level2);
    }
    const int err = errno;
    if (err == ENOENT)
        return makeDir(path, level, f);
    return failWith(f, err, level);
}

bool writeAll(int fd, const char *data, qsizetype size, int *err, qsizetype *left = nullptr)
{
    struct Left {
        qsizetype *out;
        const qsizetype &size;
        ~Left()
        {
            if (out)
                *out = size;
        }
    } report{left, size};
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            *err = errno;
            return false;
        }
        if (n == 0) {
            *err = ENOSPC;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

} // namespace

OutputFiles::OutputFiles() : m_buffer(new char[BufferBytes]) {}

OutputFiles::~OutputFiles()
{
    CloseOutFile();
}

QString OutputFiles::pathTooLongMessage()
{
    return QStringLiteral(
        "指定された保存ﾃﾞｨﾚｸﾄﾘ+ﾌｧｲﾙ名が長すぎます246ﾊﾞｲﾄを超えないように設定してください");
}

FsError OutputFiles::classify(int err, const QString &lastLevel)
{
    switch (err) {
    case 0:
        return FsError::None;
    case ENOENT:
        return FsError::NotFound;
    case ENOTDIR:
        return FsError::PathNotFound;
    case ENAMETOOLONG:
        // One level too long is a refused name; a whole path too long is
        // what the save-directory message is about.
        return native(lastLevel).size() > kMaxNameBytes ? FsError::BadName : FsError::PathNotFound;
    case EINVAL:
    case EILSEQ:
        return FsError::BadName;
    default:
        return FsError::Other;
    }
}

QString OutputFiles::describe(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

QString OutputFiles::numberedName(const QString &name)
{
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    const QString base = dot < 0 ? name : name.left(dot);
    const QString ext = dot < 0 ? QString() : name.mid(dot);
    QString stem = base;
    QString number;
    const qsizetype p = base.indexOf(QLatin1Char('('));
    if (p >= 0 && base.endsWith(QLatin1Char(')'))) {
        const QString inside = base.mid(p + 1, base.size() - p - 2);
        if (TextValue::isNumeric(inside)) {
            // The number is a 16-bit integer, rounded half to even.
            const double v = std::nearbyint(TextValue::leadingNumber(inside));
            if (v < -32768.0 || v + 1.0 > 32767.0)
                return QString();
            stem = base.left(p);
            number = QString::number(static_cast<int>(v) + 1);
        }
    }
    if (number.isEmpty()) {
        number = QStringLiteral("2");
        stem = base;
    }
    return stem + QLatin1Char('(') + number + QLatin1Char(')') + ext;
}

QString OutputFiles::OutFileCheck(const QString &dir, const QString &name, bool rewrite,
                                  FsFailure *failure)
{
    QString n = name;
    bool renamed = false;
    // Each numbered name is tested again until a free one is found; the
    // 16-bit number bounds the walk.
    for (;;) {
        const QByteArray full = native(dir + QLatin1Char('/') + n);
        struct stat st;
        if (::lstat(full.constData(), &st) != 0) {
            const int err = errno;
            const FsError kind = classify(err, n);
            if (kind == FsError::NotFound)
                return n;
            if (kind == FsError::BadName && !renamed) {
                renamed = true;
                n = unknownFileName();
                continue;
            }
            fail(failure, kind == FsError::BadName ? FsError::Other : kind, err);
            return QString();
        }
        if (!rewrite) {
            const QString next = numberedName(n);
            if (next.isEmpty()) {
                if (failure) {
                    failure->kind = FsError::Other;
                    failure->description = QStringLiteral("Overflow");
                }
                return QString();
            }
            n = next;
            continue;
        }
        if (::unlink(full.constData()) != 0) {
            const int err = errno;
            fail(failure, FsError::Other, err);
            return QString();
        }
        return n;
    }
}

OpenResult OutputFiles::OpenOutFile(const OutFileRequest &r, QString &fileName,
                                    const std::function<void(const QString &)> &beforeOpen)
{
    CloseOutFile();
    OpenResult result;
    // Without a save directory every path would start at the root.
    if (r.saveDir.isEmpty()) {
        result.status = OpenResult::Status::PathTooLong;
        return result;
    }
    bool renamed = false;
    for (;;) {
        FsFailure f;
        QString path = r.saveDir;
        bool ok = true;
        const auto level = [&](const QString &name) {
            if (!ok)
                return;
            ok = settleLevel(path, safeDirLevel(name), &f);
        };
        if (r.groupLevel)
            level(r.groupName);
        if (r.dateLevel)
            level(r.runDate);
        // An empty poster name makes no level.
        if (r.posterLevel && !r.posterDir.trimmed().isEmpty())
            level(FileNameChange(r.posterDir));

        if (ok) {
            const QString proposed =
                r.subjectPrefix ? QLatin1Char('(') + r.subject + QLatin1Char(')') + fileName
                                : fileName;
            FsFailure cf;
            const QString name =
                OutFileCheck(path, safeFileName(FileNameChange(proposed)), r.rewrite, &cf);
            if (name.isEmpty()) {
                if (cf.kind != FsError::PathNotFound) {
                    result.status = OpenResult::Status::AttachmentEnded;
                    result.description = cf.description;
                    return result;
                }
                f = cf;
                ok = false;
            } else {
                const QString fullPath = path + QLatin1Char('/') + name;
                if (beforeOpen)
                    beforeOpen(fullPath);
                const int fd = ::open(native(fullPath).constData(),
                                      O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
                if (fd >= 0) {
                    adopt(fd, fullPath);
                    result.status = OpenResult::Status::Opened;
                    result.fullPath = fullPath;
                    return result;
                }
                const int err = errno;
                fail(&f, err == ENOENT ? FsError::PathNotFound : classify(err, name), err);
                ok = false;
            }
        }

        switch (f.kind) {
        case FsError::BadName:
            if (!renamed) {
                renamed = true;
                fileName = unknownFileName();
                continue;
            }
            result.status = OpenResult::Status::Failed;
            break;
        case FsError::PathNotFound:
        case FsError::NotFound:
            result.status = OpenResult::Status::PathTooLong;
            break;
        default:
            result.status = OpenResult::Status::Failed;
            break;
        }
        result.description = f.description;
        return result;
    }
}

bool OutputFiles::openExisting(const QString &fullPath)
{
    CloseOutFile();
    const int fd = ::open(native(fullPath).constData(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        m_error = describe(errno);
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        m_error = describe(EINVAL);
        ::close(fd);
        return false;
    }
    adopt(fd, fullPath);
    return true;
}

void OutputFiles::adopt(int fd, const QString &fullPath)
{
    m_fd = fd;
    m_path = fullPath;
    m_used = 0;
    m_crcOn = false;
    m_crcFrom = 0;
    m_error.clear();
}

bool OutputFiles::seek(qint64 offset)
{
    if (m_fd < 0 || !flush())
        return false;
    if (::lseek(m_fd, static_cast<off_t>(offset), SEEK_SET) < 0) {
        m_error = describe(errno);
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    return true;
}

bool OutputFiles::flush()
{
    if (m_used == 0)
        return true;
    int err = 0;
    qsizetype left = 0;
    settleCrc();
    const bool ok = writeAll(m_fd, m_buffer.get(), m_used, &err, &left);
    m_used = 0;
    m_crcFrom = 0;
    if (!ok) {
        m_lost = left;
        m_error = describe(err);
        ::close(m_fd);
        m_fd = -1;
    }
    return ok;
}

bool OutputFiles::write(const char *data, qsizetype size)
{
    if (m_fd < 0)
        return false;
    m_lost = 0;
    if (m_used + size > BufferBytes && !flush())
        return false;
    if (size >= BufferBytes) {
        if (m_crcOn)
            m_crc = static_cast<quint32>(
                ::crc32_z(m_crc, reinterpret_cast<const Bytef *>(data), static_cast<size_t>(size)));
        int err = 0;
        if (!writeAll(m_fd, data, size, &err)) {
            m_error = describe(err);
            ::close(m_fd);
            m_fd = -1;
            return false;
        }
        return true;
    }
    std::memcpy(m_buffer.get() + m_used, data, static_cast<size_t>(size));
    m_used += size;
    return true;
}

char *OutputFiles::reserve(qsizetype size)
{
    if (m_fd < 0 || size > BufferBytes)
        return nullptr;
    m_lost = 0;
    if (m_used + size > BufferBytes && !flush())
        return nullptr;
    return m_buffer.get() + m_used;
}

void OutputFiles::settleCrc()
{
    if (m_crcOn && m_used > m_crcFrom)
        m_crc = static_cast<quint32>(
            ::crc32_z(m_crc, reinterpret_cast<const Bytef *>(m_buffer.get() + m_crcFrom),
                      static_cast<size_t>(m_used - m_crcFrom)));
    m_crcFrom = m_used;
}

void OutputFiles::startCrc()
{
    m_crcOn = true;
    m_crc = static_cast<quint32>(::crc32(0L, Z_NULL, 0));
    m_crcFrom = m_used;
}

quint32 OutputFiles::crc()
{
    settleCrc();
    return m_crc;
}

bool OutputFiles::CloseOutFile()
{
    if (m_fd < 0)
        return true;
    bool ok = flush();
    if (!ok)
        return false;
    // A file removed while it was written takes its bytes with it.
    struct stat st;
    if (::fstat(m_fd, &st) == 0 && st.st_nlink == 0) {
        m_error = QStringLiteral("書き込み中に削除されました");
        ok = false;
    }
    if (::close(m_fd) != 0 && ok) {
        m_error = describe(errno);
        ok = false;
    }
    m_fd = -1;
    return ok;
}
