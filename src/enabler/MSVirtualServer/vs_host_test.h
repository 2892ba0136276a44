// vs_host_test.h: the host on which the tests run vs-enabler's worker: a node
// identity and a processor of the test's making, and the stand-in cpuid
// program printing the worked report. Each test brings its own server.
#ifndef ENABLER_VS_VS_HOST_TEST_H
#define ENABLER_VS_VS_HOST_TEST_H

#include "enabler/MSVirtualServer/vs_publish.h"
#include "enabler/common/cpuid_stand_in_test.h"
#include "enabler/common/node_identity.h"
#include "invscan/scanners/cpuid.h"
#include "invscan/scanners/cpuid_fake_source_test.h"
#include "worked_cpuid_report.h"

#include <stdlib.h>
#include <string.h>

#include <string>

/// What the host's services hand the worker; a test changes a field before
/// the run it concerns.
class VsTestHost {
public:
  /// Places the stand-in cpuid program in `dir`, which outlives the host.
  explicit VsTestHost(const std::string& dir)
      : cpuidProgram(cpuidProgramSiteIn(dir)), cpuid_(dir, kWorkedCpuidReport) {
    processor.setIntelPackage(2);
  }

  /// The worker's services on this host, with the server that `connect`
  /// gives and `disconnect` takes back.
  VsPublishServices
  services(decltype(VsPublishServices::connect) connect,
           decltype(VsPublishServices::disconnect) disconnect) {
    VsPublishServices services;
    services.connect = connect;
    services.disconnect = disconnect;
    services.nodeIdentity = [this](NodeIdentity* identity,
                                   IdentityProblems* problems) {
      *problems = identityProblems;
      identity->nodeId = copyOrNull(nodeId);
      identity->product = copyOrNull(product);
      identity->manufacturer = copyOrNull(manufacturer);
      identity->version = copyOrNull(version);
      identity->type = copyOrNull(type);
      return true;
    };
    services.cpuidProgram = cpuidProgram;
    services.processor = {&processor, [this] { return processors; },
                          [this] {
                            ++packageQuestions;
                            return packages;
                          }};
    return services;
  }

  // The identity's texts; null: absent.
  const char* nodeId = "SN-1";
  const char* product = "Prod";
  const char* manufacturer = "Maker";
  const char* version = "BIOS 1";
  const char* type = "";
  IdentityProblems identityProblems;
  /// The stand-in, whose record is 2:GenuineIntel:6:0:4:2:2400:64 with two
  /// packages; a site where no cpuid program lies gives no record.
  CpuidProgramSite cpuidProgram;
  /// Two logical processors per package until a test makes it another.
  TableCpuIdSource processor;
  int processors = 4; ///< the logical processors the system reports
  int packages = 0;   ///< the packages the system reports; 0 not known
  int packageQuestions = 0;

private:
  static char* copyOrNull(const char* text) {
    return text ? strdup(text) : nullptr;
  }

  CpuidStandIn cpuid_;
};

#endif
