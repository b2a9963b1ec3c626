// The hid_port operations of the stand-in: the OS layer over the one
// simulated port. Apart from the port itself, so that a program with the real
// OS layer can still use the port and the hub-file loader.
#include "hub/hid_port.h"
#include "sim/sim_port.h"

bool HidPortGetDevicePath(int index, std::string& path)
{
    return sim::Port().GetDevicePath(index, path);
}
bool HidPortOpen(const std::string& path, HidHandle& handle)
{
    return sim::Port().OpenPath(path, handle);
}
void HidPortClose(HidHandle handle)
{
    sim::Port().Close(handle);
}
bool HidPortGetCaps(HidHandle handle, std::uint16_t& usagePage, std::uint16_t& usage)
{
    return sim::Port().GetCaps(handle, usagePage, usage);
}
bool HidPortGetProductId(HidHandle handle, std::uint16_t& productId)
{
    return sim::Port().GetProductId(handle, productId);
}
bool HidPortSetFeature(HidHandle handle, const std::uint8_t* buffer, std::size_t length)
{
    return sim::Port().SetFeature(handle, buffer, length);
}
bool HidPortGetFeature(HidHandle handle, std::uint8_t* buffer, std::size_t length)
{
    return sim::Port().GetFeature(handle, buffer, length);
}
