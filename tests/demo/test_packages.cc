// The toolbox's ROS packages as ROS's own package parser reads them: ROS's
// command-line tools parse every package on ROS_PACKAGE_PATH and die on one
// they refuse.
#include <gtest/gtest.h>

#include "RosMaster.h"

TEST(Packages, RosPackageParserAcceptsBothWithoutWarnings) {
  for (const std::string package : {"murv_msgs", "murv_params"}) {
    const murvtest::CommandResult r = murvtest::runCommand(
        "/usr/bin/python3 -c 'import sys, catkin_pkg.package as p; w = []; k = p.parse_package(sys.argv[1], "
        "warnings=w); print(k.name, k.maintainers[0].email, w)' " +
        std::string(MURV_SOURCE_DIR) + "/msgs/" + package + " 2>&1");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output, package + " murv-ros@example.org []\n");
  }
}
