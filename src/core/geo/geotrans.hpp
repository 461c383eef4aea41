#pragma once

// Pulkovo 1942 <-> WGS 84: abridged Molodensky differences extended by
// rotation and scale terms, evaluated once (no iteration in either
// direction). Degrees in and out, heights in metres.

namespace orvane::geo {

double DatumShiftLatSeconds(double b, double l, double h);
double DatumShiftLonSeconds(double b, double l, double h);

double PulkovoToWgsLat(double b, double l, double h);
double PulkovoToWgsLon(double b, double l, double h);
double WgsToPulkovoLat(double b, double l, double h);
double WgsToPulkovoLon(double b, double l, double h);

} // namespace orvane::geo
