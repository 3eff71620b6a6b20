#include "app/UserStore.h"

#include "app/Fields.h"
#include "foundation/HexDigit.h"
#include "foundation/ReplaceFile.h"

#include <QByteArray>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>

#include <algorithm>
#include <cerrno>

namespace app {

namespace {

// The dialog's group and its value, as the stored window values name them.
const QString QualityKey = QStringLiteral("TJPEGQualForm/QualEd_Value");
const QString QualityVersionKey = QStringLiteral("TJPEGQualForm/FormVersion");
// Values stored under another version of the stored layout are not the dialog's.
const QString StoreVersion = QStringLiteral("0");

std::string nativeName(const QString& fileName) {
    return QFile::encodeName(fileName).toStdString();
}

constexpr char HexDigits[] = "0123456789ABCDEF";

// A section or key: letters, digits, '_', '-' and '.' as they are, '/' (a
// nested group) as '\', anything else as %XX or %UXXXX.
void appendKey(std::string& out, const QString& key) {
    for (const QChar qc : key) {
        const char16_t c = qc.unicode();
        if (c == u'/') {
            out += '\\';
        } else if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                   (c >= u'0' && c <= u'9') || c == u'_' || c == u'-' || c == u'.') {
            out += static_cast<char>(c);
        } else if (c <= 0xFF) {
            out += '%';
            out += HexDigits[c / 16];
            out += HexDigits[c % 16];
        } else {
            out += "%U";
            for (int shift = 12; shift >= 0; shift -= 4)
                out += HexDigits[(c >> shift) & 0xF];
        }
    }
}

// A character as a \x escape with as many hex digits as it needs.
void appendHexEscape(std::string& out, char16_t c) {
    out += "\\x";
    bool started = false;
    for (int shift = 12; shift >= 0; shift -= 4) {
        const int digit = (c >> shift) & 0xF;
        if (digit != 0 || started || shift == 0) {
            out += HexDigits[digit];
            started = true;
        }
    }
}

// One string in double quotes: '"' and '\' escaped, control characters, a
// byte order mark and a surrogate without its partner (and, for the bytes of
// "@ByteArray(" and "@Variant(", everything beyond 0x7E) as \xH...; a hex
// digit right after such an escape is escaped too, since the reader takes
// every hex digit that follows. Other characters as UTF-8.
void appendQuoted(std::string& out, const QString& s, bool bytes) {
    out += '"';
    bool afterHex = false;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char16_t c = s.at(i).unicode();
        const bool pair = QChar::isHighSurrogate(c) && i + 1 < s.size() &&
                          QChar::isLowSurrogate(s.at(i + 1).unicode());
        if (c == u'"' || c == u'\\') {
            out += '\\';
            out += static_cast<char>(c);
            afterHex = false;
        } else if (c < 0x20 || c == 0x7F || (bytes && c > 0x7E) ||
                   (afterHex && fp::hexDigitValue(c) >= 0) || c == 0xFEFF ||
                   (QChar::isSurrogate(c) && !pair)) {
            appendHexEscape(out, c);
            afterHex = true;
        } else {
            out += s.mid(i, pair ? 2 : 1).toUtf8().toStdString();
            i += pair ? 1 : 0;
            afterHex = false;
        }
    }
    out += '"';
}

void appendValue(std::string& out, const QVariant& v) {
    if (!v.isValid()) {
        out += "@Invalid()";
        return;
    }
    switch (v.metaType().id()) {
    case QMetaType::QString: {
        QString s = v.toString();
        if (s.startsWith(QLatin1Char('@')))
            s.prepend(QLatin1Char('@')); // "@@" reads back as one '@'
        appendQuoted(out, s, false);
        return;
    }
    case QMetaType::QByteArray:
        appendQuoted(out,
                     QStringLiteral("@ByteArray(") + QString::fromLatin1(v.toByteArray()) +
                         QLatin1Char(')'),
                     true);
        return;
    case QMetaType::QStringList: {
        const QStringList list = v.toStringList();
        if (list.isEmpty()) {
            out += "@Invalid()";
            return;
        }
        for (qsizetype i = 0; i < list.size(); ++i) {
            if (i > 0)
                out += ", ";
            QString s = list[i];
            if (s.startsWith(QLatin1Char('@')))
                s.prepend(QLatin1Char('@'));
            appendQuoted(out, s, false);
        }
        return;
    }
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        appendQuoted(out, v.toString(), false);
        return;
    default: {
        // Any other value as QSettings keeps it: its data stream (version 4.0).
        QByteArray stream;
        {
            QDataStream ds(&stream, QIODevice::WriteOnly);
            ds.setVersion(QDataStream::Qt_4_0);
            ds << v;
        }
        appendQuoted(out,
                     QStringLiteral("@Variant(") + QString::fromLatin1(stream) + QLatin1Char(')'),
                     true);
        return;
    }
    }
}

} // namespace

std::string iniText(const std::map<QString, QVariant>& values) {
    // Sections in order, [General] (keys without a group) first.
    std::map<QString, std::map<QString, QVariant>> sections;
    for (const auto& [key, value] : values) {
        const qsizetype slash = key.indexOf(QLatin1Char('/'));
        if (slash < 0)
            sections[QString()][key] = value;
        else
            sections[key.left(slash)][key.mid(slash + 1)] = value;
    }
    std::string out;
    for (const auto& [section, entries] : sections) {
        if (!out.empty())
            out += '\n';
        out += '[';
        if (section.isEmpty())
            out += "General";
        else if (section.compare(QLatin1String("General"), Qt::CaseInsensitive) == 0)
            out += '%' + section.toStdString(); // a group of that name, not the keys without one
        else
            appendKey(out, section);
        out += "]\n";
        for (const auto& [key, value] : entries) {
            appendKey(out, key);
            out += '=';
            appendValue(out, value);
            out += '\n';
        }
    }
    return out;
}

// ---------------------------------------------------------------- the store

UserStore::UserStore(QString fileName) : m_fileName(std::move(fileName)) {
    const std::string native = nativeName(m_fileName);
    // Never a FIFO or a device: reading it would wait or go on forever.
    std::string bytes;
    const int e = fp::readRegularFile(native, bytes, MaxStoreBytes);
    if (e == ENOENT)
        return;
    if (e != 0) {
        m_error = e;
        m_writable = false;
        m_status = QSettings::AccessError;
        return;
    }
    IniValues read = iniValues(bytes);
    m_values = std::move(read.values);
    if (!read.wellFormed)
        m_status = QSettings::FormatError;
}

UserStore::~UserStore() {
    sync();
}

QString UserStore::fullKey(const QString& key) const {
    return m_group.isEmpty() ? key : m_group + QLatin1Char('/') + key;
}

QVariant UserStore::value(const QString& key, const QVariant& defaultValue) const {
    const auto it = m_values.find(fullKey(key));
    return it == m_values.end() ? defaultValue : it->second;
}

void UserStore::setValue(const QString& key, const QVariant& value) {
    QVariant& slot = m_values[fullKey(key)];
    if (slot.isValid() && slot.metaType() == value.metaType() && slot == value)
        return;
    // A value read from the file is text; the same value set again is no change.
    if (slot.isValid() && slot.metaType().id() == QMetaType::QString &&
        value.metaType().id() != QMetaType::QString && value.canConvert<QString>() &&
        slot.toString() == value.toString() && value.metaType().id() != QMetaType::QByteArray) {
        slot = value;
        return;
    }
    slot = value;
    m_changed = true;
}

void UserStore::remove(const QString& key) {
    const QString full = fullKey(key);
    // The key and every key below it.
    for (auto it = m_values.begin(); it != m_values.end();) {
        if (it->first == full || it->first.startsWith(full + QLatin1Char('/'))) {
            it = m_values.erase(it);
            m_changed = true;
        } else {
            ++it;
        }
    }
}

bool UserStore::contains(const QString& key) const {
    return m_values.count(fullKey(key)) != 0;
}

QStringList UserStore::allKeys() const {
    QStringList keys;
    for (const auto& [key, value] : m_values)
        keys << key;
    return keys;
}

void UserStore::beginGroup(const QString& group) {
    m_group = fullKey(group);
}

void UserStore::endGroup() {
    const qsizetype slash = m_group.lastIndexOf(QLatin1Char('/'));
    m_group = slash < 0 ? QString() : m_group.left(slash);
}

int UserStore::sync() {
    if (!m_changed)
        return 0;
    if (!m_writable)
        return m_error; // whatever lies in the file's place stays as it is
    const QString folder = QFileInfo(m_fileName).absolutePath();
    if (!QFileInfo(folder).isDir() && !QDir().mkpath(folder)) {
        m_error = EACCES;
        m_status = QSettings::AccessError;
        return m_error;
    }
    const int e = fp::replaceFile(nativeName(m_fileName), iniText(m_values));
    if (e != 0) {
        m_error = e;
        m_status = QSettings::AccessError;
        return e;
    }
    m_changed = false;
    return 0;
}

QSettings::Status UserStore::status() const {
    return m_status;
}

// ---------------------------------------------------------------- names

QString storeNameOf(const QString& programFile) {
    const QString name = QFileInfo(programFile).completeBaseName();
    return name.isEmpty() ? QStringLiteral("fassadenplan") : name;
}

QString userStoreFile(const QString& storeName) {
    // QSettings knows where per-user INI files go (QSettings::setPath may
    // have moved them); a store of a name no program uses tells it without
    // reading the real one.
    const QSettings probe(QSettings::IniFormat, QSettings::UserScope,
                          QString::fromLatin1(OrganisationName),
                          QStringLiteral(".fassadenplan-store-folder"));
    return QFileInfo(probe.fileName()).absolutePath() + QLatin1Char('/') + storeName +
           QStringLiteral(".ini");
}

std::unique_ptr<UserStore> openUserStore(const QString& storeName) {
    return std::make_unique<UserStore>(userStoreFile(storeName));
}

// ---------------------------------------------------------------- JPEG quality

std::optional<int> storedJpegQuality(const UserStore& store, bool* unreadable) {
    const QVariant version = store.value(QualityVersionKey);
    if (version.isValid() && version.toString() != StoreVersion)
        return std::nullopt;
    const QVariant value = store.value(QualityKey);
    if (!value.isValid())
        return std::nullopt;
    bool ok = false;
    const int q = value.toInt(&ok);
    if (!ok) {
        if (unreadable != nullptr)
            *unreadable = true;
        return std::nullopt;
    }
    return heldWhole(fields::JpegQuality, q);
}

int readJpegQuality(const UserStore& store) {
    return storedJpegQuality(store).value_or(static_cast<int>(fields::JpegQuality.start));
}

void writeJpegQuality(UserStore& store, int quality) {
    store.setValue(QualityVersionKey, StoreVersion.toInt());
    store.setValue(QualityKey, heldWhole(fields::JpegQuality, quality));
}

} // namespace app
