// Running the numpy and OpenCV reference scripts of reference/ with Debian's Python.
#pragma once

#include <string>
#include <vector>

namespace pixorytest {

// True when /usr/bin/python3 can import every module of the comma-separated list.
bool pythonHas(const std::string& modules);
// Runs reference/<script> with the arguments; true when it exited with status 0.
bool runReference(const std::string& script, const std::vector<std::string>& arguments);

}  // namespace pixorytest
