#include "app/shell/csv_units.h"

namespace m797 {
namespace {

struct Unit {
    int number;
    const char* unit;
};

// From the unit at the end of each chart title: В./B. volts, мВ. millivolts,
// G. the rough-road sensor's g, кг/час., шаг., об/мин., об/с2., %., C., ms.,
// мин., км/час., л/час.
constexpr Unit kUnits[] = {
    {1, "V"},   {2, "V"},   {3, "g"},        {4, "V"},     {5, "V"},      {8, "V"},     {9, "V"},    {10, "V"},
    {38, "%"},  {39, "%"},  {52, "rev/s^2"}, {53, "kg/h"}, {54, "steps"}, {55, "kg/h"}, {56, "rpm"}, {58, "rpm"},
    {60, "%"},  {61, "V"},  {62, "%"},       {63, "%"},    {65, "°C"},    {66, "%"},    {67, "ms"},  {68, "min"},
    {69, "°C"}, {70, "°C"}, {72, "V"},       {74, "mV"},   {75, "km/h"},  {76, "l/h"},  {77, "%"},
};

}  // namespace

const char* csvUnit(int parameterNumber) {
    for (const Unit& u : kUnits)
        if (u.number == parameterNumber) return u.unit;
    return nullptr;
}

}  // namespace m797
