#include "ErrorTexts.h"

#include "Texts.h"

namespace px {

namespace {

struct ErrorEntry {
    int textId;
    const char* english;
};

// Index = message code; entry 21 is composed from two texts.
const ErrorEntry kErrors[] = {
    {0, nullptr},
    {8008, "Communications with PX740 failed"},
    {8009, "Please set the device in LOGIN mode then try again"},
    {8010, "Please check your Device ID selection"},
    {8011, "Please check your COMM port setting and make sure that your device is at the right "
           "port."},
    {8012, "Please check the data parameter then try again."},
    {8013, "Hour must be between 1 and 23"},
    {8014, "Minute must be between 1 and 59"},
    {8015, "The value you entered is not numeric.  Please try again."},
    {8016, "Time or date is incorrect"},
    {8017, "Duration must be between 0 and 255"},
    {8018, "No data is entered.  Please choose your option."},
    {8019, "The device failed to reply to the computer's command.  Either the device is "
           "currently offline, or you have selected the wrong COMM port."},
    {8020, "The device failed to reply to the computer's command.  The device is either "
           "currently offline or having connection problems."},
    {8024, "An error occurred while disabling ring table entries.  Please check the device "
           "connection again.  Or try another device."},
    {8025, "An error occurred while setting the ring table entries to the device.  Please check "
           "the device connection again.  Or try another device."},
    {8026, "An error occurred while enabling the ring table entries.  Please check the device "
           "connection again.  Or try another device."},
    {8027, "An error occurred while uploading the time entries from the device.  Please check "
           "the device connection again.  Or try another device."},
    {8028, "An error occurred while checking the ring table entry activation.  Please check the "
           "device connection again.  Or try another device."},
    {8029, "An error occurred while getting time from the device.  Please check the device "
           "connection again.  Or try another device."},
    {8030, "An error occurred while resetting the device.  Please check the device connection "
           "again.  Or try another device."},
    {0, nullptr},
    {8032, "An error occurred while setting the device display to Desk Mode.  Please check the "
           "device connection again.  Or try another device."},
    {8033, "An error occurred while setting the device display to Wall Mode.  Please check the "
           "device connection again.  Or try another device."},
    {8034, "An error occurred while getting the current device time mode.  Please check the "
           "device connection again.  Or try another device."},
    {8035, "An error occurred while getting the current device duration.  Please check the "
           "device connection again.  Or try another device."},
    {8036, "An error occurred while initializing the device's database.  Please check the "
           "device connection again.  Or try another device."},
    {8037, "An error occurred while preparing the device for data recovery.  Please check the "
           "device connection again.  Or try another device."},
    {8039, "Second must be between 1 and 59"},
    {8043, "The database is malfunctioning. The data could not be loaded."},
};

} // namespace

std::string ErrorText(int n, const Texts& texts, int currentMachineId)
{
    if (n == 21)
        return texts.Get(8031, "An error occurred while polling device") + " " +
               std::to_string(currentMachineId) + " " +
               texts.Get(8038, ".  Please check the device connection again.  Or try another "
                               "device.");
    const int count = static_cast<int>(sizeof kErrors / sizeof kErrors[0]);
    if (n < 1 || n >= count || !kErrors[n].english) return "Unknown Error";
    return texts.Get(kErrors[n].textId, kErrors[n].english);
}

} // namespace px
