// The subcommands of vostrel-inspect; each returns the process exit code.
#pragma once

// vostrel-inspect image FILE [OUT.ppm]
int inspectImage(int argc, char** argv);
// vostrel-inspect markers FILE
int inspectMarkers(int argc, char** argv);
