#pragma once
// The per-user store of the program: the INI file of the stored window values
// and the JPEG quality, which the quality dialog writes and the batch mode
// reads through the same code.
//
// A UserStore holds the values of the file in memory: they are read once when
// it is opened and written back, the whole file at once, through
// fp::replaceFile when sync() (or the destructor) finds a change, so a crash
// at any moment leaves either the old or the new file. A FIFO, folder or
// device in the file's place is never opened for reading (nothing waits for a
// writer) and never written: the store then starts empty, reports
// AccessError and keeps its values in memory only. The file's text is the
// INI text QSettings reads and writes (groups as sections, "@ByteArray(...)",
// "@Variant(...)"), so stores written before stay readable.

#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace app {

// The organisation and the application, as the stores and the window name them.
inline constexpr const char* OrganisationName = "Velkor";
inline constexpr const char* ApplicationName = "Fassadenplan";

// Largest store file read; anything larger is no store of ours.
inline constexpr std::size_t MaxStoreBytes = std::size_t{1} << 20;

class UserStore {
public:
    // Reads `fileName` (a missing file is an empty store).
    explicit UserStore(QString fileName);
    ~UserStore(); // sync()
    UserStore(const UserStore&) = delete;
    UserStore& operator=(const UserStore&) = delete;

    // The QSettings calls the program uses; keys are relative to the group.
    QVariant value(const QString& key, const QVariant& defaultValue = QVariant()) const;
    void setValue(const QString& key, const QVariant& value);
    void remove(const QString& key);
    bool contains(const QString& key) const;
    QStringList allKeys() const; // full keys ("Group/Key")
    void beginGroup(const QString& group);
    void endGroup();

    // Writes the file when a value changed since it was read or last written.
    // 0 or the error code of the write (an errno value, fp::NotRegularFile).
    int sync();
    // NoError; AccessError when the file could not be read (it is no regular
    // file, or not readable) or the last write failed; FormatError when its
    // text could not be taken as INI text.
    QSettings::Status status() const;
    // The error code of the failed read or write; 0 when none failed.
    int errorCode() const { return m_error; }
    QString fileName() const { return m_fileName; }

private:
    QString fullKey(const QString& key) const;

    QString m_fileName;
    QString m_group;
    std::map<QString, QVariant> m_values;
    bool m_changed = false;
    bool m_writable = true; // false when the file in its place could not be read
    QSettings::Status m_status = QSettings::NoError;
    int m_error = 0;
};

// The INI text of `values` (full keys "Group/Key"; keys without a group go to
// [General]), as QSettings reads it back to the same values.
std::string iniText(const std::map<QString, QVariant>& values);

// The values of an INI text as QSettings reads them back (full keys
// "Group/Key"), and whether every line could be taken as INI text. Left out
// where QSettings would keep them: "@Variant(...)" data streams of other types
// than points, sizes, lines and rectangles (never parsed), "@DateTime(...)",
// lists holding "@" forms, and keys no lookup reaches (empty, or with a
// leading, trailing or doubled '/').
struct IniValues {
    std::map<QString, QVariant> values;
    bool wellFormed = true;
};
IniValues iniValues(std::string_view text);

// The store name of the program file `programFile`: its name without
// extension, "fassadenplan" when it has none.
QString storeNameOf(const QString& programFile);

// The file of the store `storeName`: "<organisation>/<storeName>.ini" in the
// folder QSettings keeps per-user INI files in.
QString userStoreFile(const QString& storeName);

// The per-user store of the stored window values.
std::unique_ptr<UserStore> openUserStore(const QString& storeName);

// The JPEG quality the quality dialog stored, kept within 1 ... 100. Empty
// when none is stored, when it was stored by another store version, or when
// it is no number (then `*unreadable` is set, when given).
std::optional<int> storedJpegQuality(const UserStore& store, bool* unreadable = nullptr);
// The same, 90 when there is none.
int readJpegQuality(const UserStore& store);
void writeJpegQuality(UserStore& store, int quality);

} // namespace app
