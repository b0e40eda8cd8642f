// Work on a device that may take seconds and that nobody may wait for. Opening a Bluetooth port
// connects to its far end first and closing it leaves it again, and neither call can be
// interrupted everywhere. So each job runs on a thread of its own that is never joined: neither
// the windows nor the end of the program wait for a device.
//
// Jobs on the same device path take turns, in the order they were started: a device has one
// owner at a time, and an open of a port that is still being closed would be refused as in use.
#pragma once

#include <functional>
#include <string>

// Runs Job on a thread of its own once every job started before it on Path has ended. A job
// waiting for its turn asks Abandoned whenever SerWakeDeviceJobs is called: once it answers
// true the job gives up its turn and never runs. Job must not throw. Raises std::system_error
// when no thread can be started, and then nothing runs.
void SerRunDeviceJob(const std::string &Path, std::function<void()> Job,
                     std::function<bool()> Abandoned);

// Lets every job that waits for its turn ask whether it has been abandoned.
void SerWakeDeviceJobs();
