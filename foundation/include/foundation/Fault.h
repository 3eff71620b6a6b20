#pragma once
// Why a write failed, as data beside the English sentence: the batch prints
// the sentence, a window words the reason in its own language from the kind
// and the figures (the errno, the format's limit, the image's size).

#include <string>

namespace fp {

enum class FaultKind {
    None,
    File,           // the file system refused: `code` is the errno or NotRegularFile / FileTooLarge
    NoFolder,       // the folder to write into does not exist
    FolderInTheWay, // a folder has the file's name
    NoExtension,    // the file name has no extension to choose a format by
    UnknownFormat,  // `format`: an extension no writer knows
    NoImage,        // there is no image to write
    UnsupportedBits, // `code`: bits per pixel the writers do not take
    TooLarge,        // `width` x `height` beyond `format`'s `maxWidth` x `maxHeight`
    EncoderFailed,   // `format`'s encoder gave up on a `width` x `height` image
    NoMemory,        // not enough memory to encode as `format`
    NoScale,         // the image has no real scale for its world file
    NoWorldFileName, // the image file has no extension to name its world file after
};

struct Fault {
    FaultKind kind = FaultKind::None;
    int code = 0;
    std::string format;
    int width = 0;
    int height = 0;
    int maxWidth = 0;
    int maxHeight = 0;
};

inline Fault kindFault(FaultKind kind) {
    return {kind, 0, {}, 0, 0, 0, 0};
}

inline Fault fileFault(int code) {
    return {FaultKind::File, code, {}, 0, 0, 0, 0};
}

} // namespace fp
