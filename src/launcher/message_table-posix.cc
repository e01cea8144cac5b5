// The message table of the Linux launcher, which has no resources: the same
// texts as the Windows string table in launcher.rc.
#include "launcher/messages.h"

namespace xoq {

std::string builtInMessage(int id) {
  switch (id) {
    case 1:
      return "Java Runtime Environment not found.";
    case 2:
      return "Java Runtime Environment not valid.";
    case 3:
      return "Java Virtual Machine initialize failed.";
    case 4:
      return "Java Virtual Machine starts failed.";
    case 5:
      return "Can not get the virtual machine version.";
    case 6:
      return "Java virtual machine version %s is too low, require %s or higher.";
    case 7:
      return "The main startup class could not be found.";
    case 8:
      return "The main startup class is not valid, main method missing.";
    case 9:
      return "The program file is damaged or has been changed.";
    case 10:
      return "Error";
    case 12:
      return "Java virtual machine version %s is too high, version between %s and %s is required.";
    case 13:
      return "There is already an instance of this program running.";
    case 14:
      return "Open %s in your browser to get Java?";
    case 15:
      return "Java can be downloaded from %s";
    case 16:
      return "The files of this program cannot be unpacked into %s: %s.";
    default:
      return std::string();
  }
}

}  // namespace xoq
