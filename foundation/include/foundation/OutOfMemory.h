#pragma once
// Out-of-memory reporting of the record container, and the raw blocks it
// lives in. The engine never shows a window: the three texts go through a
// handler that the GUI installs (a message box there); without a handler they
// are written to standard error.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace foundation {

using OutOfMemoryHandler = std::function<void(const std::string&)>;

// Installs the handler that receives every out-of-memory text. An empty
// function restores the default (standard error).
void setOutOfMemoryHandler(OutOfMemoryHandler handler);

// "Error <n> while trying to allocate <bytes> bytes of RAM. Not enough memory."
// n is 1 (first block), 2 (growing with copy) or 3 (shrinking with copy).
std::string outOfMemoryText(int errorNumber, std::uint64_t bytes);

// Builds the text and hands it to the installed handler.
void reportOutOfMemory(int errorNumber, std::uint64_t bytes);

// Allocates an uninitialised block aligned for any standard type; null when
// the memory is not available (or the test limit below forbids it). Never
// throws.
void* allocateBlock(std::size_t bytes) noexcept;
void releaseBlock(void* block) noexcept;

// Test hook: every allocateBlock above maxBytes fails. SIZE_MAX (the start
// value) removes the limit.
void setBlockLimitForTesting(std::size_t maxBytes) noexcept;

} // namespace foundation
