// The exported C entry points: argument checks, result codes, and no
// exception ever crossing into the caller.

#include "qvegeotiff.h"

#include "CCQVEGeoTIFF.hpp"

#include <cctype>
#include <new>

struct qvegeotiff_object {
    orvane::qvegeotiff::CCQVEGeoTIFF component;
};

namespace {

template <class Body>
qvegeotiff_result Guarded(qvegeotiff_object* object, Body&& body)
{
    if (object == nullptr) return QVEGEOTIFF_E_POINTER;
    try {
        body(object->component);
        return QVEGEOTIFF_S_OK;
    } catch (const std::bad_alloc&) {
        return QVEGEOTIFF_E_OUTOFMEMORY;
    } catch (...) {
        return QVEGEOTIFF_E_UNEXPECTED;
    }
}

qvegeotiff_bool AsBool(bool value)
{
    return value ? QVEGEOTIFF_TRUE : QVEGEOTIFF_FALSE;
}

bool SameIdentifier(const char* a, const char* b)
{
    for (; *a != '\0' && *b != '\0'; ++a, ++b)
        if (std::toupper(static_cast<unsigned char>(*a)) != std::toupper(static_cast<unsigned char>(*b))) return false;
    return *a == *b;
}

} // namespace

extern "C" {

qvegeotiff_result qvegeotiff_create(const char* clsid, qvegeotiff_object** object)
{
    if (object == nullptr) return QVEGEOTIFF_E_POINTER;
    *object = nullptr;
    if (clsid == nullptr) return QVEGEOTIFF_E_POINTER;
    if (!SameIdentifier(clsid, QVEGEOTIFF_CLSID)) return QVEGEOTIFF_CLASS_E_CLASSNOTAVAILABLE;
    *object = new (std::nothrow) qvegeotiff_object;
    return *object != nullptr ? QVEGEOTIFF_S_OK : QVEGEOTIFF_E_OUTOFMEMORY;
}

void qvegeotiff_release(qvegeotiff_object* object)
{
    delete object;
}

qvegeotiff_result qvegeotiff_OpenTIFF(qvegeotiff_object* object, const char* filename, qvegeotiff_bool* res)
{
    if (filename == nullptr || res == nullptr) return QVEGEOTIFF_E_POINTER;
    *res = QVEGEOTIFF_FALSE;
    return Guarded(object, [&](auto& c) { *res = AsBool(c.OpenTIFF(filename)); });
}

qvegeotiff_result qvegeotiff_getSize(qvegeotiff_object* object, int32_t* x_size, int32_t* y_size)
{
    if (x_size == nullptr || y_size == nullptr) return QVEGEOTIFF_E_POINTER;
    return Guarded(object, [&](auto& c) { c.getSize(*x_size, *y_size); });
}

qvegeotiff_result qvegeotiff_Close(qvegeotiff_object* object)
{
    return Guarded(object, [](auto& c) { c.Close(); });
}

qvegeotiff_result qvegeotiff_getProjectedXY(qvegeotiff_object* object, double* x, double* y)
{
    if (x == nullptr || y == nullptr) return QVEGEOTIFF_E_POINTER;
    return Guarded(object, [&](auto& c) { c.getProjectedXY(*x, *y); });
}

qvegeotiff_result qvegeotiff_isOrvaneCompatible(qvegeotiff_object* object, qvegeotiff_bool* res)
{
    if (res == nullptr) return QVEGEOTIFF_E_POINTER;
    *res = QVEGEOTIFF_FALSE;
    return Guarded(object, [&](auto& c) { *res = AsBool(c.isOrvaneCompatible()); });
}

qvegeotiff_result qvegeotiff_isPulkovo1942(qvegeotiff_object* object, qvegeotiff_bool* res)
{
    if (res == nullptr) return QVEGEOTIFF_E_POINTER;
    *res = QVEGEOTIFF_FALSE;
    return Guarded(object, [&](auto& c) { *res = AsBool(c.isPulkovo1942()); });
}

qvegeotiff_result qvegeotiff_isWebMercator(qvegeotiff_object* object, qvegeotiff_bool* res)
{
    if (res == nullptr) return QVEGEOTIFF_E_POINTER;
    *res = QVEGEOTIFF_FALSE;
    return Guarded(object, [&](auto& c) { *res = AsBool(c.isWebMercator()); });
}

} // extern "C"
