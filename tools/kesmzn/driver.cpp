#include "driver.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

namespace kesmzn::tool {

std::optional<Driver> LoadDriver(std::string& error) {
    std::error_code failure;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", failure);
    if (failure) {
        error = "cannot find this program's folder: " + failure.message();
        return std::nullopt;
    }
    Driver driver;
    driver.path = (self.parent_path() / "libkesmzn.so").string();
    void* library = dlopen(driver.path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* reason = dlerror();
        error = "cannot load the driver " + driver.path + ": " + (reason != nullptr ? reason : "unknown reason");
        return std::nullopt;
    }
    driver.kesMain = reinterpret_cast<KesMainFunction>(dlsym(library, "KesMain"));
    if (driver.kesMain == nullptr) {
        error = driver.path + " exports no KesMain";
        return std::nullopt;
    }
    RequestBlock request{};
    request.code = KES_REQUEST_DRIVER_INFO;
    request.data = &driver.info;
    driver.kesMain(&request);
    if (driver.info.names == nullptr || driver.info.instanceSize == 0) {
        error = driver.path + " gave no driver information (request 14)";
        return std::nullopt;
    }
    return driver;
}

AddressCheck CheckAddress(const Driver& driver, const std::string& text, std::optional<int> blockCount) {
    AddressCheckData data{};
    data.text = text.c_str();
    data.count = blockCount.value_or(0);
    data.kind = -1;
    data.number = -1;
    RequestBlock request{};
    request.code = blockCount ? KES_REQUEST_CHECK_BLOCK_ADDRESS : KES_REQUEST_CHECK_ADDRESS;
    request.data = &data;
    AddressCheck check;
    check.valid = driver.kesMain(&request) == KES_OK;
    check.kind = data.kind;
    check.number = data.number;
    return check;
}

}  // namespace kesmzn::tool
