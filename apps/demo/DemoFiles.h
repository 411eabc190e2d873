// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

/// The files the demo starts from: its launch list and the sample text it shows.
namespace DemoFiles {

/// $XDG_CONFIG_HOME/lanyard-demo/tools.lst
QString defaultLaunchList();
/// $XDG_DATA_HOME/lanyard-demo/sample.txt
QString defaultSampleText();

/// Creates @p path (and its folder) from the shipped sample launch list unless it exists.
/// False when it could not be written.
bool ensureLaunchList(const QString &path);
/// The same for the sample text.
bool ensureSampleText(const QString &path);

} // namespace DemoFiles
