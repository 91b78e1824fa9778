// SPDX-License-Identifier: MIT
// device_files.cpp
//
// CreateFileA, DeviceIoControl and CloseHandle on device paths: the
// process-wide handle table, the translation of "\\.\NAME" into the NT name
// "\DosDevices\NAME", the access a handle is granted, and the NT status of
// each request turned into the thread's last error.
#include <windows.h>

#include "platform/host-nt/nt_host.h"
#include "platform/host-win32/last_status.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace {

constexpr DWORD kGenericAll = 0x10000000u;
constexpr DWORD kFileFlagOverlapped = 0x40000000u;

class HandleTable {
  public:
    HANDLE add(std::shared_ptr<nt::FileObject> file)
    {
        std::lock_guard guard(lock_);
        // Handles are multiples of 4, as on Windows, and never reused, so a
        // handle used after its close is refused rather than reaching
        // another file.
        next_ += 4;
        files_[next_] = std::move(file);
        return reinterpret_cast<HANDLE>(next_);
    }

    std::shared_ptr<nt::FileObject> find(HANDLE handle)
    {
        std::lock_guard guard(lock_);
        auto found = files_.find(reinterpret_cast<uintptr_t>(handle));
        return found == files_.end() ? nullptr : found->second;
    }

    std::shared_ptr<nt::FileObject> remove(HANDLE handle)
    {
        std::lock_guard guard(lock_);
        auto found = files_.find(reinterpret_cast<uintptr_t>(handle));
        if (found == files_.end())
            return nullptr;
        auto file = std::move(found->second);
        files_.erase(found);
        return file;
    }

  private:
    std::mutex lock_;
    std::map<uintptr_t, std::shared_ptr<nt::FileObject>> files_;
    uintptr_t next_ = 0x100;
};

// Never destroyed: a handle left open at exit stays valid while the process
// ends, and no close reaches a driver that may already be gone.
HandleTable& handles()
{
    union Holder {
        HandleTable table;
        Holder() : table() {}
        ~Holder() {}
    };
    static Holder holder;
    return holder.table;
}

// "\\.\NAME" and "\\?\NAME" name the DOS devices directory; a path already
// in NT form ("\??\NAME") is taken as it stands. Empty for anything else.
std::wstring devicePathToNt(const std::string& path)
{
    static const char* const prefixes[] = {"\\\\.\\", "\\\\?\\", "\\??\\"};
    for (const char* prefix : prefixes) {
        std::string p(prefix);
        if (path.size() > p.size() && path.compare(0, p.size(), p) == 0) {
            std::wstring name = L"\\DosDevices\\";
            for (unsigned char c : path.substr(p.size()))
                name.push_back(static_cast<wchar_t>(c));
            return name;
        }
    }
    return {};
}

ACCESS_MASK grantedAccess(DWORD desired)
{
    ACCESS_MASK granted = 0;
    if ((desired & (GENERIC_READ | kGenericAll | nt::kFileReadData)) != 0)
        granted |= nt::kFileReadData;
    if ((desired & (GENERIC_WRITE | kGenericAll | nt::kFileWriteData)) != 0)
        granted |= nt::kFileWriteData;
    return granted;
}

BOOL fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

} // namespace

extern "C" HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                     LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                                     DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                                     HANDLE hTemplateFile)
{
    (void)dwShareMode; // devices keep no sharing rules
    (void)lpSecurityAttributes;
    (void)hTemplateFile;
    if (lpFileName == nullptr || dwCreationDisposition != OPEN_EXISTING ||
        (dwFlagsAndAttributes & kFileFlagOverlapped) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::wstring ntPath = devicePathToNt(lpFileName);
    if (ntPath.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::shared_ptr<nt::FileObject> file;
    NTSTATUS status = nt::IoManager::instance().open(ntPath, grantedAccess(dwDesiredAccess), file);
    if (!NT_SUCCESS(status)) {
        win32::SetLastNtStatus(status);
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(ERROR_SUCCESS);
    return handles().add(std::move(file));
}

extern "C" BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer,
                                       DWORD nInBufferSize, LPVOID lpOutBuffer,
                                       DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                                       LPOVERLAPPED lpOverlapped)
{
    // Only synchronous requests; and without overlapped I/O Windows needs a
    // place for the byte count.
    if (lpOverlapped != nullptr || lpBytesReturned == nullptr)
        return fail(ERROR_INVALID_PARAMETER);
    auto file = handles().find(hDevice);
    if (!file)
        return fail(ERROR_INVALID_HANDLE);
    ULONG bytesReturned = 0;
    NTSTATUS status =
        nt::IoManager::instance().deviceControl(*file, dwIoControlCode, lpInBuffer, nInBufferSize,
                                                lpOutBuffer, nOutBufferSize, bytesReturned);
    *lpBytesReturned = bytesReturned;
    if (!NT_SUCCESS(status)) {
        win32::SetLastNtStatus(status);
        return FALSE;
    }
    return TRUE;
}

extern "C" BOOL WINAPI CloseHandle(HANDLE hObject)
{
    auto file = handles().remove(hObject);
    if (!file)
        return fail(ERROR_INVALID_HANDLE);
    // As on Windows, the handle is gone whatever the driver answers.
    nt::IoManager::instance().close(file);
    return TRUE;
}
