// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

/// The files the demo starts from: its launch list and the sample text it shows.
namespace DemoFiles {

/// $XDG_CONFIG_HOME/lanyard-demo/tools.lst
QString defaultLaunchList();
/// $XDG_DATA_HOME/lanyard-demo/sample.txt
QString defaultSampleText();

/// Where the output modes of the tools in the launch list at @p launchList are kept: beside it,
/// tools.lst's in tools-output.ini.
QString outputModesFile(const QString &launchList);

/// Creates @p path (and its folder) from the shipped sample launch list unless it exists, and
/// then the sample's output modes with it. False when it could not be written.
bool ensureLaunchList(const QString &path);
/// The same for the sample text.
bool ensureSampleText(const QString &path);

} // namespace DemoFiles
