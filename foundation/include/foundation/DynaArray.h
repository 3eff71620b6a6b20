#pragma once
// TDynaArray: the program's growable array of records (the tracer's line list,
// the dictionary rows and its index, the window translation queues).
//
// Records live back to back in one block that grows and shrinks in steps of
// 100 records: for count >= 1 the block holds count rounded up to the next
// multiple of 100 records, never more (linear growth, never geometric).
// amemsize() reports that block in bytes.
//
// The array shares its cursor with its owner: the owner hands over the
// address of one of its own pointer variables, and every operation that moves
// the cursor stores the current record's address (or null) there. The usual
// walk is
//
//     rows.First();
//     while (rows.WhileNext()) { ... arow->... ; index is rows.aobjnr() - 1 ... }
//
// New records are value-initialised (plain records are all zero). Records
// that own resources are moved and destroyed as objects, never byte-copied.
//
// Errors: when a block cannot be allocated, the array reports one of three
// texts through foundation::reportOutOfMemory (see OutOfMemory.h), the
// operation does nothing and the array stays exactly as it was.
// Single-threaded use only.

#include "foundation/OutOfMemory.h"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

namespace foundation {

template <class T> class TDynaArray {
    static_assert(std::is_nothrow_default_constructible_v<T>,
                  "records must be value-initialisable without throwing");
    static_assert(std::is_nothrow_move_constructible_v<T> && std::is_nothrow_move_assignable_v<T>,
                  "records must move without throwing");
    static_assert(alignof(T) <= alignof(std::max_align_t),
                  "over-aligned records are not supported");

public:
    // Growth step in records.
    static constexpr std::uint32_t buffersize = 100;

    // typpoi: the owner's pointer variable (may be null); it must outlive the
    // array. It is set to null here.
    explicit TDynaArray(T** typpoi = nullptr) : m_outeraobj(typpoi) { publish(nullptr); }
    ~TDynaArray() { releaseAll(); }

    TDynaArray(const TDynaArray&) = delete;
    TDynaArray& operator=(const TDynaArray&) = delete;
    TDynaArray(TDynaArray&&) = delete;
    TDynaArray& operator=(TDynaArray&&) = delete;

    // Makes record Index current and returns it. An index at or beyond count()
    // returns null and leaves the cursor alone.
    T* GetObject(std::uint32_t Index) {
        if (Index >= m_count)
            return nullptr;
        setCurrent(static_cast<std::int32_t>(Index));
        return m_aobj;
    }

    // Appends a value-initialised record and makes it current. Null (array
    // unchanged) when memory runs out.
    T* Add() { return insertAt(m_count); }

    // Appends n value-initialised records with one block adjustment (a file
    // reader that knows how many records it has) and makes the last one
    // current. Returns the first new record; null (array unchanged) for
    // n == 0 or when memory runs out.
    T* Append(std::uint32_t n) {
        if (n == 0 ||
            n >= static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()) - m_count)
            return nullptr;
        const std::uint32_t oldCount = m_count;
        const std::uint32_t newCount = m_count + n;
        const std::uint64_t bytes = blockBytes(newCount);
        if (bytes != m_amemsize) {
            T* block = allocateRecords(bytes);
            if (block == nullptr) {
                reportOutOfMemory(m_poi == nullptr ? 1 : 2, bytes);
                return nullptr;
            }
            moveInto(block, m_poi, oldCount);
            if (m_poi != nullptr) {
                std::destroy_n(m_poi, oldCount);
                releaseBlock(m_poi);
            }
            m_poi = block;
            m_amemsize = static_cast<std::uint32_t>(bytes);
        }
        for (std::uint32_t i = oldCount; i < newCount; ++i)
            ::new (static_cast<void*>(m_poi + i)) T();
        m_count = newCount;
        setCurrent(static_cast<std::int32_t>(newCount - 1));
        return m_poi + oldCount;
    }

    // For 0 <= nr <= count(): inserts a value-initialised record at nr (the
    // records from nr on move up by one) and makes it current. Any other nr,
    // or no memory, returns null and changes nothing.
    T* Insert(std::int32_t nr) {
        if (nr < 0 || static_cast<std::uint32_t>(nr) > m_count)
            return nullptr;
        return insertAt(static_cast<std::uint32_t>(nr));
    }

    // For 0 <= nr < count(): removes record nr (the records behind it move
    // down by one) and leaves no current record. Other values are ignored.
    void Delete(std::int32_t nr) {
        if (nr < 0 || static_cast<std::uint32_t>(nr) >= m_count)
            return;
        const auto pos = static_cast<std::uint32_t>(nr);
        const std::uint32_t newCount = m_count - 1;
        if (newCount == 0) {
            releaseAll();
        } else {
            const std::uint64_t bytes = blockBytes(newCount);
            if (bytes != m_amemsize) {
                T* block = allocateRecords(bytes);
                if (block == nullptr) {
                    reportOutOfMemory(3, bytes);
                    return;
                }
                moveInto(block, m_poi, pos);
                moveInto(block + pos, m_poi + pos + 1, newCount - pos);
                std::destroy_n(m_poi, m_count);
                releaseBlock(m_poi);
                m_poi = block;
                m_amemsize = static_cast<std::uint32_t>(bytes);
            } else {
                std::move(m_poi + pos + 1, m_poi + m_count, m_poi + pos);
                std::destroy_at(m_poi + newCount);
            }
            m_count = newCount;
        }
        clearCurrent();
    }

    // Swaps records nr1 and nr2 when both exist; record nr2 becomes current.
    void Change(std::int32_t nr1, std::int32_t nr2) {
        if (!valid(nr1) || !valid(nr2))
            return;
        if (nr1 != nr2) {
            using std::swap;
            swap(m_poi[nr1], m_poi[nr2]);
        }
        setCurrent(nr2);
    }

    // Removes every record and releases the block; no current record.
    void Clear() {
        releaseAll();
        clearCurrent();
    }

    // Record 0 becomes current; on an empty array nothing changes.
    void First() {
        if (m_count > 0)
            setCurrent(0);
    }

    // Moves to the record after the current one (to record 0 when there is
    // none). False at the end or on an empty array; the cursor then stays.
    bool Next() {
        if (m_aobjnr >= -1 && static_cast<std::int64_t>(m_aobjnr) + 1 < m_count) {
            setCurrent(m_aobjnr + 1);
            return true;
        }
        return false;
    }

    // The walking step: makes record aobjnr() current and then advances
    // aobjnr() by one, so inside the loop body the current index is
    // aobjnr() - 1. False once aobjnr() is outside the records.
    bool WhileNext() {
        if (m_aobjnr < 0 || static_cast<std::uint32_t>(m_aobjnr) >= m_count)
            return false;
        m_aobj = m_poi + m_aobjnr;
        publish(m_aobj);
        ++m_aobjnr;
        return true;
    }

    std::uint32_t count() const { return m_count; }
    std::int32_t aobjnr() const { return m_aobjnr; }
    std::uint32_t amemsize() const { return m_amemsize; }
    T* aobj() const { return m_aobj; }

    // Direct access without moving the cursor; Index must be below count().
    T& operator[](std::uint32_t Index) {
        assert(Index < m_count);
        return m_poi[Index];
    }
    const T& operator[](std::uint32_t Index) const {
        assert(Index < m_count);
        return m_poi[Index];
    }
    T* begin() { return m_poi; }
    T* end() { return m_poi + m_count; }
    const T* begin() const { return m_poi; }
    const T* end() const { return m_poi + m_count; }

private:
    // Bytes of the block for n >= 1 records; computed wide so that an
    // implausible count cannot wrap around to a small block.
    static std::uint64_t blockBytes(std::uint32_t n) {
        const std::uint64_t records = std::uint64_t{buffersize} * ((n - 1) / buffersize + 1);
        return records * sizeof(T);
    }

    static T* allocateRecords(std::uint64_t bytes) {
        if (bytes > std::numeric_limits<std::uint32_t>::max())
            return nullptr;
        return static_cast<T*>(allocateBlock(static_cast<std::size_t>(bytes)));
    }

    static void moveInto(T* dst, T* src, std::uint32_t n) {
        for (std::uint32_t i = 0; i < n; ++i)
            ::new (static_cast<void*>(dst + i)) T(std::move(src[i]));
    }

    T* insertAt(std::uint32_t pos) {
        if (m_count == std::numeric_limits<std::uint32_t>::max() ||
            m_count >= static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()))
            return nullptr; // the cursor index could not address it
        const std::uint32_t newCount = m_count + 1;
        const std::uint64_t bytes = blockBytes(newCount);
        if (bytes != m_amemsize) {
            T* block = allocateRecords(bytes);
            if (block == nullptr) {
                reportOutOfMemory(m_poi == nullptr ? 1 : 2, bytes);
                return nullptr;
            }
            moveInto(block, m_poi, pos);
            ::new (static_cast<void*>(block + pos)) T();
            moveInto(block + pos + 1, m_poi + pos, m_count - pos);
            if (m_poi != nullptr) {
                std::destroy_n(m_poi, m_count);
                releaseBlock(m_poi);
            }
            m_poi = block;
            m_amemsize = static_cast<std::uint32_t>(bytes);
        } else if (pos == m_count) {
            ::new (static_cast<void*>(m_poi + pos)) T();
        } else {
            ::new (static_cast<void*>(m_poi + m_count)) T(std::move(m_poi[m_count - 1]));
            std::move_backward(m_poi + pos, m_poi + m_count - 1, m_poi + m_count);
            std::destroy_at(m_poi + pos);
            ::new (static_cast<void*>(m_poi + pos)) T();
        }
        m_count = newCount;
        setCurrent(static_cast<std::int32_t>(pos));
        return m_aobj;
    }

    bool valid(std::int32_t nr) const {
        return nr >= 0 && static_cast<std::uint32_t>(nr) < m_count;
    }

    void setCurrent(std::int32_t nr) {
        m_aobjnr = nr;
        m_aobj = m_poi + nr;
        publish(m_aobj);
    }

    void clearCurrent() {
        m_aobjnr = -1;
        m_aobj = nullptr;
        publish(nullptr);
    }

    void publish(T* p) {
        if (m_outeraobj != nullptr)
            *m_outeraobj = p;
    }

    void releaseAll() {
        if (m_poi != nullptr) {
            std::destroy_n(m_poi, m_count);
            releaseBlock(m_poi);
        }
        m_poi = nullptr;
        m_count = 0;
        m_amemsize = 0;
    }

    T** m_outeraobj = nullptr;
    T* m_aobj = nullptr;
    T* m_poi = nullptr;
    std::uint32_t m_count = 0;
    std::int32_t m_aobjnr = -1;
    std::uint32_t m_amemsize = 0;
};

} // namespace foundation
