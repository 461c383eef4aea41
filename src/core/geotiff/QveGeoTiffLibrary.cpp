#include "geotiff/QveGeoTiffLibrary.hpp"

#include "util/Error.hpp"
#include "util/Messages.hpp"

#include "qvegeotiff.h"

#include <dlfcn.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace orvane::geotiff {

namespace fs = std::filesystem;

namespace {

/// The component's entry points, resolved once per library.
struct EntryPoints {
    decltype(&qvegeotiff_create) create = nullptr;
    decltype(&qvegeotiff_release) release = nullptr;
    decltype(&qvegeotiff_OpenTIFF) openTiff = nullptr;
    decltype(&qvegeotiff_getSize) getSize = nullptr;
    decltype(&qvegeotiff_Close) close = nullptr;
    decltype(&qvegeotiff_getProjectedXY) getProjectedXy = nullptr;
    decltype(&qvegeotiff_isOrvaneCompatible) isOrvaneCompatible = nullptr;
    decltype(&qvegeotiff_isPulkovo1942) isPulkovo1942 = nullptr;
    decltype(&qvegeotiff_isWebMercator) isWebMercator = nullptr;
};

std::string LoaderError(const std::string& fallback)
{
    const char* text = dlerror();
    return text != nullptr ? std::string(text) : fallback;
}

template <class Function>
void Resolve(void* library, const char* name, Function& out)
{
    dlerror();
    void* symbol = dlsym(library, name);
    if (symbol == nullptr) throw Error(msg::LibraryLoadFailed(LoaderError(name)));
    out = reinterpret_cast<Function>(symbol);
}

EntryPoints ResolveAll(void* library)
{
    EntryPoints e;
    Resolve(library, "qvegeotiff_create", e.create);
    Resolve(library, "qvegeotiff_release", e.release);
    Resolve(library, "qvegeotiff_OpenTIFF", e.openTiff);
    Resolve(library, "qvegeotiff_getSize", e.getSize);
    Resolve(library, "qvegeotiff_Close", e.close);
    Resolve(library, "qvegeotiff_getProjectedXY", e.getProjectedXy);
    Resolve(library, "qvegeotiff_isOrvaneCompatible", e.isOrvaneCompatible);
    Resolve(library, "qvegeotiff_isPulkovo1942", e.isPulkovo1942);
    Resolve(library, "qvegeotiff_isWebMercator", e.isWebMercator);
    return e;
}

/// Loads one candidate; on failure keeps the loader's reason.
void* Open(const std::string& file, std::string& reason)
{
    dlerror();
    void* library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) reason = LoaderError(file);
    return library;
}

fs::path ProgramFolder()
{
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : self.parent_path();
}

void* LoadComponentLibrary(const fs::path& library)
{
    std::string reason;
    if (!library.empty()) {
        if (void* h = Open(library.string(), reason)) return h;
        throw Error(msg::LibraryLoadFailed(reason));
    }
    const char* fromEnvironment = std::getenv(kQveGeoTiffEnvironment);
    if (fromEnvironment != nullptr && *fromEnvironment != '\0') {
        if (void* h = Open(fromEnvironment, reason)) return h;
        throw Error(msg::LibraryLoadFailed(reason));
    }
    // Beside the program. A file there that does not load gives the more
    // telling reason, so it is kept over the search path's.
    std::optional<std::string> besideReason;
    const fs::path folder = ProgramFolder();
    if (!folder.empty()) {
        const fs::path beside = folder / kQveGeoTiffLibraryName;
        std::error_code ec;
        if (fs::exists(beside, ec)) {
            if (void* h = Open(beside.string(), reason)) return h;
            besideReason = reason;
        }
    }
    if (void* h = Open(kQveGeoTiffLibraryName, reason)) return h;
    throw Error(msg::LibraryLoadFailed(besideReason.value_or(reason)));
}

class LibraryComponent final : public ICQVEGeoTIFF {
public:
    LibraryComponent(const EntryPoints& entry, qvegeotiff_object* object) : m_entry(entry), m_object(object) {}
    ~LibraryComponent() override { m_entry.release(m_object); }
    LibraryComponent(const LibraryComponent&) = delete;
    LibraryComponent& operator=(const LibraryComponent&) = delete;

    ComResult OpenTIFF(const std::string& filename, bool& res) override
    {
        qvegeotiff_bool b = QVEGEOTIFF_FALSE;
        const ComResult r = m_entry.openTiff(m_object, filename.c_str(), &b);
        res = b != QVEGEOTIFF_FALSE;
        return r;
    }
    ComResult getSize(std::int32_t& x_size, std::int32_t& y_size) override
    {
        return m_entry.getSize(m_object, &x_size, &y_size);
    }
    ComResult Close() override { return m_entry.close(m_object); }
    ComResult getProjectedXY(double& x, double& y) override { return m_entry.getProjectedXy(m_object, &x, &y); }
    ComResult isOrvaneCompatible(bool& res) override { return Ask(m_entry.isOrvaneCompatible, res); }
    ComResult isPulkovo1942(bool& res) override { return Ask(m_entry.isPulkovo1942, res); }
    ComResult isWebMercator(bool& res) override { return Ask(m_entry.isWebMercator, res); }

private:
    template <class Question>
    ComResult Ask(Question question, bool& res)
    {
        qvegeotiff_bool b = QVEGEOTIFF_FALSE;
        const ComResult r = question(m_object, &b);
        res = b != QVEGEOTIFF_FALSE;
        return r;
    }

    EntryPoints m_entry;
    qvegeotiff_object* m_object;
};

} // namespace

std::unique_ptr<ICQVEGeoTIFF> CreateCQVEGeoTIFF(const fs::path& library)
{
    void* handle = LoadComponentLibrary(library);  // never closed, see the header
    const EntryPoints entry = ResolveAll(handle);
    qvegeotiff_object* object = nullptr;
    const std::string clsid(kClsidCQVEGeoTIFF);
    const qvegeotiff_result r = entry.create(clsid.c_str(), &object);
    if (r != QVEGEOTIFF_S_OK || object == nullptr)
        throw Error(msg::LibraryLoadFailed(msg::ComponentResultText(r != QVEGEOTIFF_S_OK ? r : QVEGEOTIFF_E_POINTER)));
    try {
        return std::make_unique<LibraryComponent>(entry, object);
    } catch (...) {
        entry.release(object);
        throw;
    }
}

} // namespace orvane::geotiff
