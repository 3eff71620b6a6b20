#pragma once
// The per-user store of the program: the names it is kept under, and the
// JPEG quality of the quality dialog, which the dialog writes and the batch
// mode reads through the same code.

#include <QString>

#include <memory>
#include <optional>

class QSettings;

namespace app {

// The organisation and the application, as the stores and the window name them.
inline constexpr const char* OrganisationName = "Velkor";
inline constexpr const char* ApplicationName = "Fassadenplan";

// The store name of the program file `programFile`: its name without
// extension, "fassadenplan" when it has none.
QString storeNameOf(const QString& programFile);

// The per-user store (INI file "<organisation>/<storeName>.ini" in the user's
// configuration folder) of the stored window values. When a FIFO, device or
// folder lies in the file's place, the store starts empty and keeps nothing.
std::unique_ptr<QSettings> openUserStore(const QString& storeName);

// The JPEG quality the quality dialog stored, kept within 1 ... 100. Empty
// when none is stored, when it was stored by another store version, or when
// it is no number (then `*unreadable` is set, when given).
std::optional<int> storedJpegQuality(const QSettings& store, bool* unreadable = nullptr);
// The same, 90 when there is none.
int readJpegQuality(const QSettings& store);
void writeJpegQuality(QSettings& store, int quality);

} // namespace app
