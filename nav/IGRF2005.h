#pragma once
// Coefficient tables of the geomagnetic model 9 (epoch 2005.0, degree 13), indexed [n][m].

extern const double gnm_igrf2005[14][14];
extern const double hnm_igrf2005[14][14];
extern const double gtnm_igrf2005[14][14];
extern const double htnm_igrf2005[14][14];
