#pragma once

#include <QString>

#include <functional>
#include <memory>

// How a file-system failure is handled: the run-time error numbers the
// program tells apart, mapped from the platform's errors in one place.
enum class FsError {
    None,
    BadName,      // 52: the name is refused (too long for one level, invalid)
    NotFound,     // 53: the path does not exist
    PathNotFound, // 76: a parent of the path does not exist, or the path is too long
    Other,        // anything else: the platform's description is shown
};

struct FsFailure {
    FsError kind = FsError::None;
    QString description; // the platform's description of the error
};

// Where an attachment's file goes: the save directory, the optional levels
// below it and the options of the group being downloaded.
struct OutFileRequest {
    QString saveDir;
    bool groupLevel = false; // SAVE/GROUPDIR on
    QString groupName;
    bool dateLevel = false; // the group's DATEDIR on
    QString runDate;
    bool posterLevel = false; // the group's USERDIR on
    QString posterDir;
    bool subjectPrefix = false; // the group's SUBJECT on
    QString subject;
    bool rewrite =
        true; // the group's REWRITE (GroupTable::overwrites): replace a file of the same name
};

struct OpenResult {
    enum class Status {
        Opened,          // fullPath is open
        AttachmentEnded, // the name could not be settled: the attachment is not written
        PathTooLong,     // a parent is missing: the program ends with pathTooLongMessage()
        Failed,          // any other error: the program ends with description
    };
    Status status = Status::Failed;
    QString fullPath;
    QString description;
};

// The one output file of a download run and the directory tree it lives in.
// Every level and file name passes through safeDirLevel / safeFileName last,
// so nothing is created outside the save directory. Writes are buffered and
// reach the file at the latest when it is closed.
class OutputFiles final {
public:
    OutputFiles();
    ~OutputFiles();
    OutputFiles(const OutputFiles &) = delete;
    OutputFiles &operator=(const OutputFiles &) = delete;

    static QString pathTooLongMessage();

    // Builds and creates the directory levels, settles the name through
    // OutFileCheck and opens the file. fileName may be replaced by
    // unknownFileName() when the platform refuses it (once; a second refusal
    // fails). beforeOpen is called with the full path just before the file is
    // opened (the summary log's path piece).
    OpenResult OpenOutFile(const OutFileRequest &request, QString &fileName,
                           const std::function<void(const QString &)> &beforeOpen = {});

    // The name to use for `name` in `dir`: free as it is, numbered when a file
    // of that name exists and rewrite is false, or with the existing file
    // deleted when rewrite is true. An empty result means the check failed
    // (failure says why); the attachment is then not written.
    static QString OutFileCheck(const QString &dir, const QString &name, bool rewrite,
                                FsFailure *failure = nullptr);

    // photo.jpg -> photo(2).jpg, photo(2).jpg -> photo(3).jpg,
    // a(b)(3).gif -> a(b)(3)(2).gif. Empty when the number would leave the
    // 16-bit range.
    static QString numberedName(const QString &name);

    // Opens a file this program made earlier (a yEnc file whose parts come
    // in several articles) to write more of it: not truncated, no name
    // check, a symbolic link refused. False (errorString() says why) when it
    // cannot be opened.
    bool openExisting(const QString &fullPath);
    // Moves where the next bytes go (after writing what is buffered).
    bool seek(qint64 offset);

    bool isOpen() const { return m_fd >= 0; }
    const QString &path() const { return m_path; }
    // Appends bytes. False when they could not be written (errorString()
    // says why); the file is then closed and kept as far as it got.
    bool write(const char *data, qsizetype size);
    // Room for `size` bytes (at most 64 KB) at the end of the buffer, to be
    // filled and then taken with commit() before any other call; writes what
    // is buffered first when there is too little. Null when no file is open,
    // `size` is too large, or the buffered bytes could not be written.
    char *reserve(qsizetype size);
    void commit(qsizetype size) { m_used += size; }
    // The CRC32 (zlib) of the bytes written since startCrc(), taken in large
    // blocks from the buffer: per line it would cost several times the
    // decoding.
    void startCrc();
    quint32 crc();
    // Writes what is buffered and closes. False when the data did not all
    // reach the file or the file was removed while it was written. Safe with
    // no file open.
    bool CloseOutFile();
    QString errorString() const { return m_error; }
    // Bytes write() took that did not reach the file when the last write or
    // close failed.
    qint64 lostBytes() const { return m_lost; }

    static FsError classify(int err, const QString &lastLevel);
    static QString describe(int err);

private:
    void adopt(int fd, const QString &fullPath); // the open file becomes the current one
    bool flush();
    void settleCrc();
    int m_fd = -1;
    QString m_path;
    QString m_error;
    std::unique_ptr<char[]> m_buffer;
    qsizetype m_used = 0;
    qint64 m_lost = 0;
    bool m_crcOn = false;
    quint32 m_crc = 0;
    qsizetype m_crcFrom = 0; // buffered bytes before this are in m_crc
};
