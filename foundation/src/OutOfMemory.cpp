#include "foundation/OutOfMemory.h"

#include <cstdlib>
#include <iostream>
#include <limits>
#include <utility>

namespace foundation {

namespace {

OutOfMemoryHandler& handlerSlot() {
    static OutOfMemoryHandler handler;
    return handler;
}

std::size_t g_blockLimit = std::numeric_limits<std::size_t>::max();

} // namespace

void setOutOfMemoryHandler(OutOfMemoryHandler handler) {
    handlerSlot() = std::move(handler);
}

std::string outOfMemoryText(int errorNumber, std::uint64_t bytes) {
    return "Error " + std::to_string(errorNumber) + " while trying to allocate " +
           std::to_string(bytes) + " bytes of RAM. Not enough memory.";
}

void reportOutOfMemory(int errorNumber, std::uint64_t bytes) {
    const std::string text = outOfMemoryText(errorNumber, bytes);
    if (const OutOfMemoryHandler& handler = handlerSlot())
        handler(text);
    else
        std::cerr << text << '\n';
}

void* allocateBlock(std::size_t bytes) noexcept {
    if (bytes == 0 || bytes > g_blockLimit)
        return nullptr;
    return std::malloc(bytes);
}

void releaseBlock(void* block) noexcept {
    std::free(block);
}

void setBlockLimitForTesting(std::size_t maxBytes) noexcept {
    g_blockLimit = maxBytes;
}

} // namespace foundation
