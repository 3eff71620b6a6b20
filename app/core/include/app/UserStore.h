#pragma once
// The per-user store of the program: the names it is kept under, and the
// JPEG quality of the quality dialog, which the dialog writes and the batch
// mode reads through the same code.

#include <QString>

#include <memory>

class QSettings;

namespace app {

// The organisation and the application, as the stores and the window name them.
inline constexpr const char* OrganisationName = "Velkor";
inline constexpr const char* ApplicationName = "Fassadenplan";

// The store name of the program file `programFile`: its name without
// extension, "fassadenplan" when it has none.
QString storeNameOf(const QString& programFile);

// The per-user store (INI file "<organisation>/<storeName>.ini" in the user's
// configuration folder) of the stored window values.
std::unique_ptr<QSettings> openUserStore(const QString& storeName);

// The JPEG quality of the quality dialog: 90 when none is stored or it was
// stored by another store version, kept within 1 ... 100. A stored value
// that is no number gives 90 too and sets `*unreadable` (when given).
int readJpegQuality(const QSettings& store, bool* unreadable = nullptr);
void writeJpegQuality(QSettings& store, int quality);

} // namespace app
