#pragma once

#include <QStringList>

// The commands of marvane-cli. Each takes the arguments after its name, prints its result on
// standard output and its failures on standard error, and returns the process exit status.
namespace cli {

int RunDump(const QStringList& args);      // dump FILE
int RunBuild(const QStringList& args);     // build JSON_FILE OUT_FILE
int RunChannels(const QStringList& args);  // channels
int RunRender(const QStringList& args);    // render LIST_FILE OUT.wav [options]
int RunCheck(const QStringList& args);     // check [--json] LIST_FILE
int RunCollect(const QStringList& args);   // collect LIST_FILE FOLDER
int RunPrint(const QStringList& args);  // print LIST_FILE OUT.pdf [--paper letter|a4] [--portrait]

}  // namespace cli
