// The survey as JSON, for other programs: the page's worker and
// `oem2sif-integrate --json`. Every text is UTF-8: those of txtsetup.oem
// converted from code page 932, names of files and folders from the
// system's own (platform/platform.h). Fields are named as the page's
// modules name them, so that the page takes the objects as they are:
//
//   {"setup": {folder, file, problem, identity: {machine, evidence, major,
//              minor}, version, answer, answerGiven},
//    "drivers": [{folder, oemFile, problem, rows: [{option: {index, key,
//                 description, driverFile, driverFileRefused, service,
//                 ids: [{id, match, service}], files: [{kind, disk, name,
//                 directory, refused}]}, found: {source: {folder, name,
//                 path, size} | null, directory, beside, directoryRefused},
//                 built: {machine, how, problem, fits}, fits, versions,
//                 versionFit, skipped, refused: {name, why} | null,
//                 tickable, ticked, reason, infFit, inf, support: [{kind,
//                 name, source, unsafe, inf}]}]}],
//    "conflicts": {options: [{driver, what, earlier, later}],
//                  drivers: [{earlier, later, services, ids: [{id, from,
//                  to}]}], setup: [{driver, services, ids}]},
//    "driverFiles": [{service, file, driver, option, state, setupName,
//                     source, directory, beside, brought, missing,
//                     unsure}],
//    "supportFiles": [{name, listed, kind, driver, option, source, row,
//                      listedBySetup, brought}],
//    "runs": [{driver, folder, oemFile, keptOptions, files: [{name,
//              source, support}]}]}
//
// Kinds are names, never numbers: a problem, how, reason or state is a
// string (null where there is none); a machine is check/pe_image.h's
// number, a Windows version major * 10 + minor, an answer "1" or "2" (null
// where none can be told); a directory null where the disk names none;
// keptOptions null where every option is kept.
#ifndef OEM2SIF_ENGINE_SURVEY_JSON_H
#define OEM2SIF_ENGINE_SURVEY_JSON_H

#include <string>

#include "engine/plan.h"
#include "engine/survey.h"

namespace o2s::engine {

// One line of JSON, ended by a line feed.
std::string SurveyToJson(const Survey& survey, const IntegrationPlan& plan);
// The survey's "conflicts" object alone, as above.
std::string ConflictsToJson(const Survey& survey);

// `text` as a JSON string, quotes included: from code page 932 (the texts
// of txtsetup.oem), or a file or folder name of this system.
enum class TextFrom { kCp932, kFileName };
std::string JsonString(const std::string& text, TextFrom from);

}  // namespace o2s::engine

#endif  // OEM2SIF_ENGINE_SURVEY_JSON_H
