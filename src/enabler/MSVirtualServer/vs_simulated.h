// vs_simulated.h: the simulated Virtual Server, which stands in for Virtual
// Server where it is not installed: natively behind the adapter, and on
// Windows inside an in-process COM server of the tests. Its machines and their
// answers come from a model file in the variable-tree text form; every
// successful SetParameter is recorded as one line of a record file.
#ifndef ENABLER_VS_VS_SIMULATED_H
#define ENABLER_VS_VS_SIMULATED_H

#include "enabler/MSVirtualServer/vs_connection.h"

#include <stddef.h>

#include <string>

/// Names the model file; unset means Virtual Server is not installed.
constexpr const char* kVsModelVariable = "KEP_VS_MODEL";
/// Names the record file; unset means nothing is recorded.
constexpr const char* kVsParametersVariable = "KEP_VS_PARAMETERS";
/// The largest model that is read: a server of 10,000 machines takes under
/// 2 MiB.
constexpr size_t kVsModelMaxBytes = 8u << 20;

/// Makes the simulated application object from the model at `modelPath`.
/// REGDB_E_CLASSNOTREG, with `*server` null, when the path is null or the
/// file cannot be read, is no regular file (a named pipe or a device is not
/// waited for) or holds more than kVsModelMaxBytes, its status line is not
/// accepted or it has no root group. `recordPath` null: parameters are set
/// but not recorded. The record is opened for appending at the first set
/// without waiting (openForAppending): a set whose line cannot be written to
/// it, a named pipe without reader or a full one included, fails.
///
/// The model's root group is the server, with the strings `Name` and
/// `Version`; each child group `machine` is one virtual machine, items 1 to
/// Count in order, with the string `Name`, the integer `State`, the value
/// `MaxSystemCapacity` and the child group `configuration` whose values are
/// given by key. A value's letter sets the VARIANT type (f VT_R8, i VT_I4,
/// s VT_BSTR). A missing `MaxSystemCapacity` or key makes that read fail; a
/// missing `Name` reads as empty, a missing `State` as 0. `Fail`, on the
/// server or a machine, lists operations, separated by blanks, that fail with
/// E_FAIL: connect (the first version read, the one of the connection),
/// get_Name, get_Version (every later read), get_VirtualMachines, get_Count;
/// and per machine get_Item, get_Name, get_State, get_CapacityObject,
/// get_GuestParameterObject, SetParameter or SetParameter:NAME.
VsResult vsCreateSimulatedServer(const char* modelPath, const char* recordPath,
                                 VsVirtualServerObject** server);

/// Why the model at `modelPath` gives no server, as one line for a person
/// (without line end): "the model cannot be read: <reason>" (the reason names
/// the path), "<path>: <reason>" for a model without status line or group,
/// "<path>:<line>: <reason>" for the first line the reader refused. Empty when
/// the path is null or the model is accepted. The callers that stand in for
/// Virtual Server write it to standard error; the enabler's log does not
/// change.
std::string vsModelProblem(const char* modelPath);

/// The number of simulated objects made and not yet released, process-wide.
int vsSimulatedObjectCount();

/// For the end of the process: when simulated objects are still alive,
/// appends "!leaked", a tab, their count and a line feed to the record file,
/// so a test sees objects its program never released. Null: nothing.
void vsRecordLeakedObjects(const char* recordPath);

#endif
