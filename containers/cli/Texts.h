#pragma once
// The terminal program's own texts, from the control's message catalogues in the
// user's language (English where a catalogue lacks one).
#include <cstdint>
#include <initializer_list>
#include <string>

namespace brv::cli {

// Message numbers of the terminal program's texts.
enum Text : int32_t {
  kHeading = 2001,            // %1 %2 of %3: category, instance, count
  kNone = 2002,               // %1: none
  kHasInstances = 2003,       // %1 has %2 instances
  kHasOneInstance = 2004,     // %1 has 1 instance
  kHasNoInstances = 2005,     // %1 has no instances
  kUnknownCategory = 2006,    // no category is called "%1"; did you mean "%2"? The categories: %3
  kBadInstance = 2007,        // the instance is a positive whole number, counted from 1, not "%1"
  kNoSuchCategory = 2008,     // no category is called "%1". The categories: %2
  kAmbiguousCategory = 2009,  // "%1" could be any of %2; type more of the name
  kAllInstances = 2010,       // the word for every instance: all
  kCategoryWords = 2011,      // to 2021: the words people use for each category, '|' between them
  // --help: the program, each option and argument, and the help's own labels.
  kHelpAbout = 2101,
  kHelpSnapshot = 2102,
  kHelpColor = 2103,
  kHelpJson = 2104,
  kHelpScript = 2105,
  kHelpCategory = 2106,
  kHelpInstance = 2107,
  kHelpSysroot = 2108,
  kHelpCapture = 2109,
  kHelpOutput = 2110,
  kHelpServe = 2111,
  kHelpPort = 2112,
  kHelpBind = 2113,
  kHelpAllowHost = 2114,
  kHelpHelp = 2115,
  kHelpVersion = 2116,
  kHelpUsage = 2117,
  kHelpOptions = 2118,
  kHelpPositionals = 2119,
  kHelpSubcommands = 2120,
  kHelpSend = 2121,
  kSeeHelp = 2122,  // a usage error %1, then the program %2 whose --help to see
  kHelpFooter = 2123,
  // diff
  kDiffSide = 2301,         // %1 (host %2, taken %3): where from, host name, time
  kDiffThisMachine = 2302,  // this machine now
  kDiffTreeNow = 2303,      // the tree %1 now
  kDiffUnknown = 2304,      // unknown (a host or time a snapshot did not record)
  kDiffFailedOld = 2305,    // %1: could not be read in the old inventory; not compared
  kDiffFailedNew = 2306,    // %1: could not be read in the new inventory; not compared
  kDiffFailedBoth = 2307,   // %1: could not be read in either inventory; not compared
  kDiffNoChange = 2308,     // No part has changed.
  kHelpDiff = 2309,
  kHelpDiffOld = 2310,
  kHelpDiffNew = 2311,
  kHelpDiffAll = 2312,
  kHelpDiffJson = 2313,
  kHelpBaseline = 2314,
  kHelpDetails = 2315,
};

// Message `number` with %1, %2, ... replaced by the arguments, in one pass.
std::string Say(Text number, std::initializer_list<std::string> args);

// Message `number` in English, whatever the user's language.
std::string English(Text number);

// "Memory has 2 instances", "CD,DVD has no instances".
std::string HasInstances(const std::string& category, int32_t count);

}  // namespace brv::cli
