// The machine's keys made on the operator's word: both on a new machine, the export key alone
// where the manifest's key predates it, and nothing where both are there, since neither is ever
// replaced.
#include "TestEnv.h"
#include "integrity/ExportSigning.h"
#include "integrity/MachineKeys.h"
#include "integrity/Signing.h"

using namespace integrity;
using Step = MadeKeys::Step;

class MachineKeysTest : public TempPrefixTest {};

TEST_F(MachineKeysTest, WhatAMachineLacksIsMadeAndAMachineWithBothKeysIsRefused) {
    const std::string fresh = prefix() + "/fresh", older = prefix() + "/older";
    const MadeKeys both = CreateMachineKeys(fresh, "Quillon Backup unit");
    EXPECT_EQ(both.problem, "");
    EXPECT_EQ(both.manifestKey, Step::kMade);
    EXPECT_EQ(both.fingerprint, Fingerprint(ReadText(PublicKeyPath(fresh))));
    EXPECT_EQ(both.exportKey, Step::kMade);
    const auto key = LoadExportKey(fresh);
    ASSERT_TRUE(key);
    EXPECT_EQ(both.certificate, CertificateFingerprint(key->certificateDer));
    EXPECT_EQ(CertificateCommonName(key->certificateDer), "Quillon Backup unit");

    const std::string manifestKey = ReadText(PrivateKeyPath(fresh));
    EXPECT_NE(CreateMachineKeys(fresh, "Quillon Backup unit").problem, "");
    EXPECT_EQ(ReadText(PrivateKeyPath(fresh)), manifestKey);
    EXPECT_EQ(LoadExportKey(fresh)->certificateDer, key->certificateDer);

    ASSERT_TRUE(CreateSigningKey(older));
    const std::string olderKey = ReadText(PrivateKeyPath(older));
    const MadeKeys exportOnly = CreateMachineKeys(older, "Quillon Backup unit");
    EXPECT_EQ(exportOnly.manifestKey, Step::kKept);
    EXPECT_EQ(exportOnly.exportKey, Step::kMade);
    EXPECT_EQ(ReadText(PrivateKeyPath(older)), olderKey);
    EXPECT_TRUE(LoadExportKey(older));
}
