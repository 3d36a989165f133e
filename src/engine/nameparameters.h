#pragma once

#include <QMap>
#include <QString>
#include <QStringView>

#include <optional>

// The RFC 2231 forms of a MIME part's file name, gathered line by line from
// its header block: "filename*=" and "name*=" (charset'language'%XX…) and
// their numbered sections "filename*0*=", "filename*1=", … which today's
// clients put on folded lines of their own.
class NameParameters final {
public:
    // Takes the name parameters of one line; other text is passed over.
    void scanLine(QStringView line);
    // The name they give, decoded to text (not yet cleaned as a file name):
    // from "filename*" when it gives one, else from "name*". Nothing when
    // neither does: no such parameter, no section 0, a charset no converter
    // knows, or more than kMaxChars of parameter text.
    std::optional<QString> fileName() const;
    void clear();
    bool isEmpty() const { return m_filename.isEmpty() && m_name.isEmpty() && !m_overlong; }

    // Sections are numbered 0 to kMaxSection; parameter text beyond kMaxChars
    // in one header block makes the names void.
    static constexpr int kMaxSection = 999;
    static constexpr qsizetype kMaxChars = 4096;

private:
    struct Section {
        QString value;
        bool extended = false; // charset'language'%XX form
    };
    // Section -1 is the unnumbered "name*=" form.
    using Sections = QMap<int, Section>;
    static std::optional<QString> assemble(const Sections &sections);

    Sections m_filename;
    Sections m_name;
    qsizetype m_chars = 0;
    bool m_overlong = false;
};
