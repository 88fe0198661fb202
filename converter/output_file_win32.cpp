#include "converter/output_file.h"

namespace velk::converter {

std::FILE *openOutputFile(const std::string &path) { return std::fopen(path.c_str(), "wb"); }

} // namespace velk::converter
