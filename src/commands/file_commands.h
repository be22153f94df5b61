// The file commands. Each owns its files and buffers for the length of its call, reports
// what it did as console lines and returns true when it finished.
#pragma once

#include <string>

namespace norvak {

bool decode_file(const std::string& input_path, const std::string& output_path);
bool encode_file(const std::string& input_path, const std::string& output_path);
bool pack_file(const std::string& input_path, const std::string& output_path);

}  // namespace norvak
