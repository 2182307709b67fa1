#include "Registry.h"

#include "FileLock.h"
#include "Ini.h"
#include "XdgPaths.h"
#include "serlo.h"

#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>

namespace serlo {

std::string RegistryPath()
{
    return px::xdg::DataHome() + "/" SERLO_REGISTRY_FILE;
}

std::string LibraryPath()
{
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&RegisterServer), &info) || !info.dli_fname) return {};
    std::error_code ec;
    const auto path = std::filesystem::canonical(info.dli_fname, ec);
    return ec ? std::string(info.dli_fname) : path.string();
}

std::int32_t RegisterServer()
{
    const std::string file = RegistryPath();
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(file).parent_path(), ec);
    const std::string library = LibraryPath();

    // Other programs register and unregister in the same file; their updates must not be lost.
    const px::FileLock lock(file);
    if (!lock.Locked()) return SERLO_SELFREG_E_TYPELIB;
    auto loaded = px::ini::Document::tryLoad(file);
    if (!loaded) return SERLO_SELFREG_E_TYPELIB; // other programs' entries must not be lost
    auto& doc = *loaded;
    doc.set(kTypeLibName, "LIBID", kTypeLibId);
    doc.set(kTypeLibName, "Version", kTypeLibVersion);
    doc.set(kTypeLibName, "HelpString", "Serlo ActiveX SP1 (PX740)");
    doc.set(kTypeLibName, "Path", library);
    if (!doc.save(file)) return SERLO_SELFREG_E_TYPELIB;

    doc.set(kCtrlProgId, "Path", library);
    doc.set(kCtrlProgId, "CLSID", kCtrlClsid);
    doc.set(kCtrlProgId, "TypeLib", kTypeLibName);
    doc.set(kCtrlProgId, "Version", kTypeLibVersion);
    doc.set(kCtrlProgId, "Name", "Serlo Control (PX740)");
    doc.set(kPageProgId, "Path", library);
    doc.set(kPageProgId, "CLSID", kPageClsid);
    doc.set(kPageProgId, "TypeLib", kTypeLibName);
    doc.set(kPageProgId, "Version", kTypeLibVersion);
    doc.set(kPageProgId, "Name", "Serlo Property Page (PX740)");
    doc.set(kPageProgId, "Caption", "General (PX740)");
    if (!doc.save(file)) return SERLO_SELFREG_E_CLASS;
    return SERLO_S_OK;
}

std::int32_t UnregisterServer()
{
    const std::string file = RegistryPath();
    if (!std::filesystem::exists(file)) return SERLO_S_OK;
    const px::FileLock lock(file);
    if (!lock.Locked()) return SERLO_SELFREG_E_CLASS;
    auto loaded = px::ini::Document::tryLoad(file);
    if (!loaded) return SERLO_SELFREG_E_CLASS;
    auto& doc = *loaded;
    doc.removeSection(kCtrlProgId);
    doc.removeSection(kPageProgId);
    if (!doc.save(file)) return SERLO_SELFREG_E_CLASS;
    doc.removeSection(kTypeLibName);
    if (!doc.save(file)) return SERLO_SELFREG_E_TYPELIB;
    return SERLO_S_OK;
}

} // namespace serlo
