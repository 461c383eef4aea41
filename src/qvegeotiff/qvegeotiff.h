#pragma once

/*
 * C interface of the qvegeotiff component, for binding at run time
 * (dlopen + dlsym). The program never links the component: it loads the
 * library, asks qvegeotiff_create for an object of the class identifier
 * below, calls the operations on it and releases it.
 *
 * Every operation returns a result code in the manner of an HRESULT:
 * QVEGEOTIFF_S_OK on success, a negative code on failure (a null pointer,
 * memory exhausted, an unknown class). Answers travel in the output
 * arguments only. Booleans are automation booleans: -1 true, 0 false.
 *
 * Calling order: OpenTIFF; when it answers true, any of isOrvaneCompatible,
 * isPulkovo1942, isWebMercator, getSize and getProjectedXY; then Close.
 * Operations on an object without an open file touch no library handle and
 * leave their outputs as described for an unreadable definition.
 *
 * An object is used by one thread at a time; distinct objects are
 * independent.
 */

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(QVEGEOTIFF_BUILDING)
#define QVEGEOTIFF_API __attribute__((visibility("default")))
#else
#define QVEGEOTIFF_API
#endif

typedef int32_t qvegeotiff_result;
typedef int16_t qvegeotiff_bool;
typedef struct qvegeotiff_object qvegeotiff_object;

/* The class the factory makes. */
#define QVEGEOTIFF_CLSID "{D812B6FA-8EC2-44E2-8FC6-528EFE8F9370}"

#define QVEGEOTIFF_TRUE ((qvegeotiff_bool)-1)
#define QVEGEOTIFF_FALSE ((qvegeotiff_bool)0)

#define QVEGEOTIFF_S_OK ((qvegeotiff_result)0)
#define QVEGEOTIFF_E_POINTER ((qvegeotiff_result)0x80004003u)
#define QVEGEOTIFF_E_OUTOFMEMORY ((qvegeotiff_result)0x8007000Eu)
#define QVEGEOTIFF_E_UNEXPECTED ((qvegeotiff_result)0x8000FFFFu)
#define QVEGEOTIFF_CLASS_E_CLASSNOTAVAILABLE ((qvegeotiff_result)0x80040111u)

/* Makes a new object holding no file. clsid must be QVEGEOTIFF_CLSID
   (letter case ignored); another gives QVEGEOTIFF_CLASS_E_CLASSNOTAVAILABLE. */
QVEGEOTIFF_API qvegeotiff_result qvegeotiff_create(const char* clsid, qvegeotiff_object** object);

/* Frees the object, closing a file left open. A null object is ignored. */
QVEGEOTIFF_API void qvegeotiff_release(qvegeotiff_object* object);

/* Opens a TIFF (path in the file system's encoding) and its GeoTIFF key set.
   A file still open is closed first. res: true when both were obtained. */
QVEGEOTIFF_API qvegeotiff_result qvegeotiff_OpenTIFF(qvegeotiff_object* object, const char* filename,
                                                     qvegeotiff_bool* res);

/* Image width and length in pixels; left as the caller set them when the
   GeoTIFF definition cannot be read. */
QVEGEOTIFF_API qvegeotiff_result qvegeotiff_getSize(qvegeotiff_object* object, int32_t* x_size, int32_t* y_size);

/* Closes the file; does nothing without one. */
QVEGEOTIFF_API qvegeotiff_result qvegeotiff_Close(qvegeotiff_object* object);

/* Raster position (pixel column, pixel row, from the upper-left corner of
   the image; pixel edges) to projected coordinates of the file, in place.
   Unchanged when the file cannot be transformed. */
QVEGEOTIFF_API qvegeotiff_result qvegeotiff_getProjectedXY(qvegeotiff_object* object, double* x, double* y);

/* True for a projected file in a Mercator projection that the calibration
   export turns into degrees correctly: ellipsoidal Mercator on WGS 84
   (geographic system 4326) or Pulkovo 1942 (4284) with central meridian 0,
   scale 1, no false easting or northing, in metres; or the spherical web
   Mercator (see isWebMercator). */
QVEGEOTIFF_API qvegeotiff_result qvegeotiff_isOrvaneCompatible(qvegeotiff_object* object, qvegeotiff_bool* res);

/* True when the geographic coordinate system is 4284 (Pulkovo 1942),
   whatever the model type. */
QVEGEOTIFF_API qvegeotiff_result qvegeotiff_isPulkovo1942(qvegeotiff_object* object, qvegeotiff_bool* res);

/* True for the spherical web Mercator: projected system 3857 or 3785, the
   pseudo-Mercator method, or a Mercator (central meridian 0, scale 1, no
   false origin, metres) on a sphere of radius 6378137 m. Its metres are
   turned into WGS 84 degrees with the spherical inverse. */
QVEGEOTIFF_API qvegeotiff_result qvegeotiff_isWebMercator(qvegeotiff_object* object, qvegeotiff_bool* res);

#ifdef __cplusplus
}
#endif
