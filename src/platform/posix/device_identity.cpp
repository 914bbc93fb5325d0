#include "platform/posix/device_identity.h"

bool SameDevice(const DeviceIdentity& remembered, const DeviceIdentity& found) {
  if (!remembered.Known()) return true;
  if (!remembered.usb_id.empty() &&
      (found.usb_id != remembered.usb_id || found.usb_serial != remembered.usb_serial ||
       found.usb_interface != remembered.usb_interface)) {
    return false;
  }
  return found.by_id.empty() || found.by_id == remembered.by_id || remembered.by_id.empty();
}

std::string DescribeIdentity(const DeviceIdentity& identity) {
  if (!identity.Known()) return "no identity";
  std::string usb;
  if (!identity.usb_id.empty()) {
    usb = identity.usb_id;
    if (!identity.usb_serial.empty()) usb += " serial " + identity.usb_serial;
    if (!identity.usb_interface.empty()) usb += " interface " + identity.usb_interface;
  }
  if (identity.by_id.empty()) return usb;
  return usb.empty() ? identity.by_id : identity.by_id + " (" + usb + ")";
}

std::string DescribeOtherDevice(const OtherDevice& other) {
  return "COM" + std::to_string(other.port_number) + " (" + other.path +
         ") leads to another device, " + DescribeIdentity(other.found) + ", not the run's, " +
         DescribeIdentity(other.expected) +
         "; it is left alone, and the port is opened again at every poll until the run's "
         "device is back";
}
