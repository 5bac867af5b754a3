// resourcereader: reads back what a program tells Windows about itself,
// through the same calls that Explorer and the loader use.
//
//   resourcereader <program>
//
// Prints "name=value" lines: FixedFileVersion and FixedProductVersion (the
// numbers of the version resource, as a.b.c.d), then every string of the
// version resource in the language that its Translation entry names, then
// ActivationContext (made, or failed and the error number: whether the
// loader accepts the manifest), then "Manifest=" followed by the manifest's
// text. Exit status: 0 done, 1 no version resource or no manifest, 2 bad
// arguments.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Resource 1 of type 24 (RT_MANIFEST): the manifest that the loader applies.
const wchar_t* const ManifestId = MAKEINTRESOURCEW(1);
const wchar_t* const ManifestType = MAKEINTRESOURCEW(24);

// The strings of a version resource that Explorer's Properties dialog knows.
constexpr const wchar_t* VersionStrings[] = {
    L"Comments",     L"CompanyName",    L"FileDescription", L"FileVersion",
    L"InternalName", L"LegalCopyright", L"LegalTrademarks", L"OriginalFilename",
    L"PrivateBuild", L"ProductName",    L"ProductVersion",  L"SpecialBuild",
};

// Up to 32 KiB of UTF-8 text from a wide one; enough for any version string.
void PrintWide(const wchar_t* text) {
    char bytes[32768];
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof bytes, nullptr, nullptr);
    fputs(size > 0 ? bytes : "?", stdout);
}

void PrintFixedVersion(const char* name, DWORD high, DWORD low) {
    printf("%s=%u.%u.%u.%u\n", name, unsigned{HIWORD(high)}, unsigned{LOWORD(high)},
           unsigned{HIWORD(low)}, unsigned{LOWORD(low)});
}

bool PrintVersion(const wchar_t* program) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(program, &ignored);
    if (size == 0) {
        return false;
    }
    std::vector<BYTE> block(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoW(program, 0, size, block.data()) ||
        !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
        length < sizeof *fixed) {
        return false;
    }
    PrintFixedVersion("FixedFileVersion", fixed->dwFileVersionMS, fixed->dwFileVersionLS);
    PrintFixedVersion("FixedProductVersion", fixed->dwProductVersionMS, fixed->dwProductVersionLS);
    WORD* translation = nullptr;
    if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translation), &length) ||
        length < 2 * sizeof(WORD)) {
        return false;
    }
    for (const wchar_t* name : VersionStrings) {
        wchar_t path[64];
        swprintf(path, 64, L"\\StringFileInfo\\%04x%04x\\%ls", translation[0], translation[1],
                 name);
        wchar_t* value = nullptr;
        if (VerQueryValueW(block.data(), path, reinterpret_cast<void**>(&value), &length) &&
            length > 0) {
            PrintWide(name);
            putchar('=');
            PrintWide(value);
            putchar('\n');
        }
    }
    return true;
}

// The loader's own reading of the manifest: an activation context made from
// the program's manifest resource.
void PrintActivationContext(const wchar_t* program) {
    ACTCTXW request = {};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = program;
    request.lpResourceName = ManifestId;
    HANDLE context = CreateActCtxW(&request);
    if (context == INVALID_HANDLE_VALUE) {
        printf("ActivationContext=failed %lu\n", GetLastError());
        return;
    }
    ReleaseActCtx(context);
    puts("ActivationContext=made");
}

bool PrintManifest(const wchar_t* program) {
    HMODULE module = LoadLibraryExW(program, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) {
        return false;
    }
    HRSRC found = FindResourceW(module, ManifestId, ManifestType);
    HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
    const void* text = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (text != nullptr) {
        fputs("Manifest=", stdout);
        fwrite(text, 1, SizeofResource(module, found), stdout);
        putchar('\n');
    }
    FreeLibrary(module);
    return text != nullptr;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr || argc != 2) {
        fputs("usage: resourcereader <program>\n", stderr);
        return 2;
    }
    const bool version = PrintVersion(argv[1]);
    PrintActivationContext(argv[1]);
    const bool manifest = PrintManifest(argv[1]);
    return version && manifest ? 0 : 1;
}
