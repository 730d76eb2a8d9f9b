#include "library/install_paths.h"

#include <system_error>

#include "library/standards.h"

namespace orvane {

std::filesystem::path dataFilePathFor(const std::filesystem::path& executableDirectory) {
    return (executableDirectory / ".." / "share" / "orvane" / "orvane.dat").lexically_normal();
}

std::filesystem::path executableDirectory() {
    const std::filesystem::path self = "/proc/self/exe";
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink(self, error);
    if (error) {
        throw DataFileError(self.string(), "",
                            "cannot find the program's folder, where the data file is looked "
                            "for: " +
                                error.message());
    }
    return executable.parent_path();
}

}  // namespace orvane
