// Weeks of Pendrel's everyday use in minutes on the emulated device: rounds
// of the operator's actions, and what Pendrel's process holds after them,
// so that anything it takes and never gives back shows as growth.
#pragma once
#include <random>
#include <string>

#include "device.hpp"

namespace runner::soak {

// One round, from the tray back to the tray: reads into the memo, the tray
// popup opened and closed, then the main window restored, the read display
// opened with reads and closed, the About box opened and closed, and the
// window sent back to the tray by the read key output command.
struct Round {
    int memo_reads = 1;
    int popups = 1;
    int display_reads = 1;
    // Each read, popup and the dialogs' cycle is one step.
    int steps() const { return memo_reads + popups + display_reads + 1; }
};

// Launches Pendrel in the background mode and waits until it is in the
// tray with its worker running and the reader open.
link::Process* launch(Device& device);

// Runs a round on Pendrel's latest launch, checking that every read landed.
// Throws ScriptError naming the action that failed.
void run_round(Device& device, const Round& round, std::mt19937& random);

// "handles 3 (event 2, thread 1), windows 12, menus 0, GDI objects 0"
std::string describe(const link::Holdings& holdings);
// Each count that grew, with its object named: "event handles 2 -> 7,
// menus 0 -> 5"; empty when nothing grew.
std::string growth(const link::Holdings& first, const link::Holdings& last);

}  // namespace runner::soak
