// Where the datafile is: the optional "datapath.cfg" in the working directory.
#pragma once

#include <string>

// The datafile to load: "datapath.cfg"'s [data] path, or default_name.
std::string datafile_path(const char* default_name);
