#include "alerts/AlertItem.h"

int PeriodTypeSeconds(int periodType) {
    switch (periodType) {
    case static_cast<int>(TPeriodType::minutes):
        return 60;
    case static_cast<int>(TPeriodType::hours):
        return 3600;
    case static_cast<int>(TPeriodType::days):
        return 86400;
    default:
        return 60;
    }
}

TAlertItem::TAlertItem(TAlertItems* owner) : LastCheckedTime(Now()), Owner(owner) {}
