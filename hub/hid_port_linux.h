// Linux-only parts of the HID layer that tests reach.
#pragma once

#include <string>

// Points the layer at a tree that stands in for the file system root: nodes
// are listed from root + "/sys/class/hidraw" and opened as root + "/dev/hidrawN".
// An empty root restores the real one. For tests only; the tool never calls it.
void HidPortLinuxSetRoot(const std::string& root);
