// SPDX-License-Identifier: MIT
// physical_memory.cpp
//
// The notebook's physical memory: byte ranges placed by firmware images, the
// ranges marked unmappable, reads that see open bus (0xFF) wherever no
// image put anything, and the backing file the mappings are views of.
#include "sim/machine.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <unordered_set>

namespace sim {

namespace {

constexpr uint64_t kNoLimit = std::numeric_limits<uint64_t>::max();
constexpr uint64_t kPageSize = 0x1000;
// The backing file holds the first 1 TiB of physical memory (sparse: only
// the pages some view covered take room); pages above it are copied.
constexpr uint64_t kBackingSize = uint64_t{1} << 40;

// True when [base, base + length) does not wrap past the top of the space.
bool fitsInSpace(uint64_t base, uint64_t length)
{
    return length == 0 || base <= kNoLimit - (length - 1);
}

// Last byte of a non-empty range; callers check fitsInSpace first.
uint64_t lastByte(uint64_t base, uint64_t length)
{
    return base + (length - 1);
}

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// "03fe0000.bin" -> 0x03FE0000; anything else is not a range file.
std::optional<uint64_t> baseFromFileName(const std::string& name)
{
    if (name.size() != 12 || name.substr(8) != ".bin")
        return std::nullopt;
    if (!std::all_of(name.begin(), name.begin() + 8, isHexDigit))
        return std::nullopt;
    return std::stoull(name.substr(0, 8), nullptr, 16);
}

// Writes all of `bytes` at `offset` of the file.
bool writeAll(int fd, const uint8_t* bytes, size_t length, uint64_t offset)
{
    while (length != 0) {
        const ssize_t done = ::pwrite(fd, bytes, length, static_cast<off_t>(offset));
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        bytes += done;
        length -= static_cast<size_t>(done);
        offset += static_cast<uint64_t>(done);
    }
    return true;
}

} // namespace

struct PhysicalMemory::Backing {
    int fd = -1;
    std::unordered_set<uint64_t> written; // page numbers

    Backing()
    {
        fd = ::memfd_create("zephr-physical-memory", MFD_CLOEXEC);
        if (fd >= 0 && ::ftruncate(fd, static_cast<off_t>(kBackingSize)) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    ~Backing()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Backing(const Backing&) = delete;
    Backing& operator=(const Backing&) = delete;

    // Writes pages [first, first + count) as the memory reads them.
    bool write(const PhysicalMemory& memory, uint64_t first, uint64_t count)
    {
        const auto length = static_cast<size_t>(count * kPageSize);
        // Pages that one image gives whole go from its bytes straight to the
        // file; others are put together first.
        const uint8_t* bytes = memory.wholeIn(first * kPageSize, length);
        std::unique_ptr<uint8_t[]> assembled;
        if (bytes == nullptr) {
            assembled.reset(new uint8_t[length]);
            memory.read(first * kPageSize, assembled.get(), length);
            bytes = assembled.get();
        }
        if (!writeAll(fd, bytes, length, first * kPageSize))
            return false;
        for (uint64_t page = first; page < first + count; ++page)
            written.insert(page);
        return true;
    }
};

PhysicalMemory::PhysicalMemory() = default;
PhysicalMemory::~PhysicalMemory() = default;

PhysicalMemory::PhysicalMemory(const PhysicalMemory& other)
    : ranges_(other.ranges_), unmappable_(other.unmappable_)
{
}

PhysicalMemory& PhysicalMemory::operator=(const PhysicalMemory& other)
{
    if (this != &other) {
        ranges_ = other.ranges_;
        unmappable_ = other.unmappable_;
        std::lock_guard guard(backingLock_);
        backing_.reset();
    }
    return *this;
}

PhysicalMemory::Backing& PhysicalMemory::backing() const
{
    if (!backing_)
        backing_ = std::make_unique<Backing>();
    return *backing_;
}

bool PhysicalMemory::viewPagesAt(void* at, uint64_t pageBase, size_t bytes) const
{
    if (pageBase >= kBackingSize || bytes > kBackingSize - pageBase)
        return false;
    std::lock_guard guard(backingLock_);
    Backing& file = backing();
    if (file.fd < 0)
        return false;
    // Pages not yet in the file go in, a run at a time.
    const uint64_t first = pageBase / kPageSize, end = first + bytes / kPageSize;
    for (uint64_t page = first; page < end;) {
        if (file.written.contains(page)) {
            ++page;
            continue;
        }
        uint64_t runEnd = page + 1;
        while (runEnd < end && !file.written.contains(runEnd))
            ++runEnd;
        if (!file.write(*this, page, runEnd - page))
            return false;
        page = runEnd;
    }
    return ::mmap(at, bytes, PROT_READ, MAP_SHARED | MAP_FIXED, file.fd,
                  static_cast<off_t>(pageBase)) != MAP_FAILED;
}

void PhysicalMemory::refreshBacking(uint64_t base, uint64_t length)
{
    std::lock_guard guard(backingLock_);
    if (!backing_ || backing_->fd < 0 || length == 0 || base >= kBackingSize)
        return;
    const uint64_t last = std::min(lastByte(base, length), kBackingSize - 1);
    for (uint64_t page = base / kPageSize; page <= last / kPageSize; ++page)
        if (backing_->written.contains(page) && !backing_->write(*this, page, 1))
            backing_->written.erase(page);
}

PhysicalMemory::RangeBytes::RangeBytes(std::shared_ptr<const uint8_t> data, size_t size)
    : data_(std::move(data)), size_(size)
{
}

PhysicalMemory::RangeBytes::RangeBytes(const std::vector<uint8_t>& copy)
    : RangeBytes(std::shared_ptr<const uint8_t>(new uint8_t[copy.size()],
                                                std::default_delete<const uint8_t[]>()),
                 copy.size())
{
    std::memcpy(const_cast<uint8_t*>(data_.get()), copy.data(), copy.size());
}

// An image file is mapped, not read: the driver looks at a few pages of a
// 1 MiB capture, and reading (or copying) all of it cost more than the
// driver's whole report. Where the file cannot be mapped it is read whole in
// one call. A mapped file may be removed while the machine lives, but not
// rewritten or cut short: its pages are the machine's memory.
PhysicalMemory::RangeBytes PhysicalMemory::RangeBytes::fromFile(const std::filesystem::path& file,
                                                                size_t size)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw std::runtime_error(file.string() + ": cannot open the memory image file");
    void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (mapped != MAP_FAILED) {
        ::close(fd);
        return RangeBytes(std::shared_ptr<const uint8_t>(static_cast<const uint8_t*>(mapped),
                                                         [size](const uint8_t* start) {
                                                             ::munmap(const_cast<uint8_t*>(start),
                                                                      size);
                                                         }),
                          size);
    }
    std::shared_ptr<uint8_t> bytes(new uint8_t[size], std::default_delete<uint8_t[]>());
    size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd, bytes.get() + done, size - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            ::close(fd);
            throw std::runtime_error(file.string() + ": cannot read the memory image file");
        }
        done += static_cast<size_t>(got);
    }
    ::close(fd);
    return RangeBytes(std::move(bytes), size);
}

void PhysicalMemory::load(uint64_t base, const std::vector<uint8_t>& bytes)
{
    if (!fitsInSpace(base, bytes.size())) {
        char where[64];
        std::snprintf(where, sizeof where, "0x%llx", static_cast<unsigned long long>(base));
        throw std::invalid_argument(std::string("a memory range at ") + where + " of " +
                                    std::to_string(bytes.size()) +
                                    " bytes runs past the top of physical memory");
    }
    if (!bytes.empty()) {
        ranges_.push_back(Range{base, RangeBytes(bytes)});
        refreshBacking(base, bytes.size());
    }
}

void PhysicalMemory::loadImageFolder(const std::filesystem::path& folder)
{
    namespace fs = std::filesystem;
    const fs::path memoryFolder = folder / "memory";
    std::error_code error;
    if (!fs::is_directory(folder, error))
        throw std::runtime_error(folder.string() + ": no such image folder");
    if (!fs::is_directory(memoryFolder, error))
        throw std::runtime_error(folder.string() + ": the image folder has no memory/ folder");

    // Files load in name order, so where two overlap the higher base wins
    // the same way on every run.
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(memoryFolder, error))
        files.push_back(entry.path());
    if (error)
        throw std::runtime_error(memoryFolder.string() +
                                 ": cannot list the folder: " + error.message());
    std::sort(files.begin(), files.end());

    for (const auto& file : files) {
        const auto base = baseFromFileName(file.filename().string());
        if (!base)
            throw std::runtime_error(file.string() +
                                     ": not a memory range file (expected a name of "
                                     "8 hex digits and .bin, like 000e0000.bin)");
        if (!fs::is_regular_file(file, error))
            throw std::runtime_error(file.string() + ": not a regular file");
        const uint64_t size = fs::file_size(file, error);
        if (error)
            throw std::runtime_error(file.string() + ": cannot read the memory image file");
        if (!fitsInSpace(*base, size) || lastByte(*base, size) > 0xFFFFFFFFull)
            throw std::runtime_error(file.string() + ": the range runs past 4 GiB");
        if (size != 0) {
            ranges_.push_back(Range{*base, RangeBytes::fromFile(file, static_cast<size_t>(size))});
            refreshBacking(*base, size);
        }
    }
}

void PhysicalMemory::markUnmappable(uint64_t base, uint64_t length)
{
    if (length == 0)
        return;
    if (!fitsInSpace(base, length))
        length = kNoLimit - base + 1;
    unmappable_.emplace_back(base, length);
}

bool PhysicalMemory::mappable(uint64_t base, uint64_t length) const
{
    if (length == 0)
        return true;
    if (!fitsInSpace(base, length))
        return false;
    const uint64_t last = lastByte(base, length);
    for (const auto& [fenceBase, fenceLength] : unmappable_) {
        const uint64_t fenceLast = lastByte(fenceBase, fenceLength);
        if (base <= fenceLast && fenceBase <= last)
            return false;
    }
    return true;
}

const uint8_t* PhysicalMemory::wholeIn(uint64_t base, size_t length) const
{
    if (length == 0 || !fitsInSpace(base, length))
        return nullptr;
    const uint64_t last = lastByte(base, length);
    // The last image that touches the range wins where images overlap.
    for (auto range = ranges_.rbegin(); range != ranges_.rend(); ++range) {
        const uint64_t rangeLast = lastByte(range->base, range->bytes.size());
        if (range->base > last || rangeLast < base)
            continue;
        if (range->base <= base && rangeLast >= last)
            return range->bytes.data() + (base - range->base);
        return nullptr;
    }
    return nullptr;
}

void PhysicalMemory::read(uint64_t base, void* out, size_t length) const
{
    if (length == 0)
        return; // an empty read may come with no buffer at all
    auto* target = static_cast<uint8_t*>(out);
    if (const uint8_t* whole = wholeIn(base, length)) {
        std::memcpy(target, whole, length);
        return;
    }
    std::memset(target, 0xFF, length);
    // A read that wraps past the top sees open bus beyond it.
    const uint64_t last = fitsInSpace(base, length) ? lastByte(base, length) : kNoLimit;
    for (const auto& range : ranges_) {
        const uint64_t rangeLast = lastByte(range.base, range.bytes.size());
        if (range.base > last || rangeLast < base)
            continue;
        const uint64_t from = std::max(base, range.base);
        const uint64_t to = std::min(last, rangeLast);
        std::memcpy(target + (from - base), range.bytes.data() + (from - range.base),
                    static_cast<size_t>(to - from + 1));
    }
}

} // namespace sim
