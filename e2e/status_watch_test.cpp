// How a watch orders reports whose notifications arrived out of order.
#include "tools/status_watch.h"

#include <gtest/gtest.h>

#include "tools/service_control.h"

namespace {

Report At(ULONGLONG atMs, DWORD state, DWORD checkPoint) {
    Report report = {};
    report.atMs = atMs;
    report.status.dwCurrentState = state;
    report.status.dwCheckPoint = checkPoint;
    return report;
}

std::vector<std::string> Order(const std::vector<Report>& reports) {
    std::vector<std::string> order;
    for (const Report& report : reports) {
        order.push_back(std::string(StateName(report.status.dwCurrentState)) + " " +
                        std::to_string(report.status.dwCheckPoint));
    }
    return order;
}

}  // namespace

TEST(InsertInLifeOrder, PutsLateNotificationsWhereTheLifeMadeThem) {
    struct OrderCase {
        const char* what;
        std::vector<Report> arrivals;
        std::vector<std::string> order;
    };
    const OrderCase kCases[] = {
        {"running delivered just before start-pending",
         {At(100, SERVICE_RUNNING, 0), At(105, SERVICE_START_PENDING, 1)},
         {"START_PENDING 1", "RUNNING 0"}},
        {"start-pending delivered long after running and the stop",
         {At(100, SERVICE_RUNNING, 0), At(400, SERVICE_STOP_PENDING, 1),
          At(450, SERVICE_START_PENDING, 1)},
         {"START_PENDING 1", "RUNNING 0", "STOP_PENDING 1"}},
        {"a progress report delivered long after the stop",
         {At(0, SERVICE_START_PENDING, 1), At(100, SERVICE_RUNNING, 0),
          At(200, SERVICE_STOP_PENDING, 1), At(1205, SERVICE_STOPPED, 0),
          At(1300, SERVICE_STOP_PENDING, 2)},
         {"START_PENDING 1", "RUNNING 0", "STOP_PENDING 1", "STOP_PENDING 2", "STOPPED 0"}},
    };
    for (const OrderCase& c : kCases) {
        SCOPED_TRACE(c.what);
        std::vector<Report> reports;
        for (const Report& arrival : c.arrivals) InsertInLifeOrder(reports, arrival);
        EXPECT_EQ(Order(reports), c.order);
    }
}
