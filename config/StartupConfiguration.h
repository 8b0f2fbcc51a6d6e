#pragma once

// The configuration step of start-up, after the command line was read and the
// Properties were loaded: the frame's caption, both passes of the
// configuration file (which define the consoles), the Title option, the
// splash screen and the process priority.
namespace kestra::config {

void ConfigureAtStartup();

} // namespace kestra::config
