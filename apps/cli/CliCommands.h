#pragma once

struct CliInvocation;

namespace CliCommands {

/// Runs the command on a new ExternalApps object and releases it, which writes the launch
/// list; returns the exit status. Needs a QCoreApplication, and a QApplication for configure.
int execute(const CliInvocation &invocation);

} // namespace CliCommands
