#pragma once
// The magnetic model: declination from the field's spherical harmonics (NavMath.h includes it).

// Magnetic declination in radians, east positive, by spherical-harmonic synthesis. Latitude
// (geodetic) and longitude in radians, height in km above the ellipsoid, day a Julian day number.
// Only model 9 (epoch 2005.0, degree 13, with secular variation) is carried; any other model
// number gives 0 and a zeroed field. When field is given it receives B_r, B_theta, B_phi, X, Y, Z
// in nanotesla. Keeps no state between calls: safe from any thread.
double SGMagVar(double latitude, double longitude, double height, unsigned long day, unsigned long model,
                double* field = nullptr);
