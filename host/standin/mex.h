/* The stand-in host's plug-in interface: the subset of the MEX API that the
 * imrestore gateways call, with the host's plain names and types. Arrays hold
 * numeric data (real or complex), sparse double data, or text as char
 * (16-bit units, as MATLAB's mxChar). */
#ifndef IMRESTORE_STANDIN_MEX_H
#define IMRESTORE_STANDIN_MEX_H

#include <stdbool.h>
#include <stddef.h>

/* MATLAB's 64-bit build types (unsigned sizes; Octave's are signed). */
typedef size_t mwSize;
typedef size_t mwIndex;
typedef ptrdiff_t mwSignedIndex;

typedef enum {
    mxUNKNOWN_CLASS = 0,
    mxCELL_CLASS,
    mxSTRUCT_CLASS,
    mxLOGICAL_CLASS,
    mxCHAR_CLASS,
    mxVOID_CLASS,
    mxDOUBLE_CLASS,
    mxSINGLE_CLASS,
    mxINT8_CLASS,
    mxUINT8_CLASS,
    mxINT16_CLASS,
    mxUINT16_CLASS,
    mxINT32_CLASS,
    mxUINT32_CLASS,
    mxINT64_CLASS,
    mxUINT64_CLASS,
    mxFUNCTION_CLASS
} mxClassID;

typedef enum { mxREAL = 0, mxCOMPLEX = 1 } mxComplexity;

typedef struct mxArray_tag mxArray;

#ifdef __cplusplus
extern "C" {
#endif

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

size_t mxGetM(const mxArray* array);
size_t mxGetN(const mxArray* array);
mwSize mxGetNumberOfDimensions(const mxArray* array);
const mwSize* mxGetDimensions(const mxArray* array);
size_t mxGetNumberOfElements(const mxArray* array);
mxClassID mxGetClassID(const mxArray* array);
size_t mxGetElementSize(const mxArray* array);
const char* mxGetClassName(const mxArray* array);
bool mxIsDouble(const mxArray* array);
bool mxIsSingle(const mxArray* array);
bool mxIsInt32(const mxArray* array);
bool mxIsNumeric(const mxArray* array);
bool mxIsChar(const mxArray* array);
bool mxIsComplex(const mxArray* array);
bool mxIsSparse(const mxArray* array);
bool mxIsEmpty(const mxArray* array);
bool mxIsFinite(double value);

void* mxGetData(const mxArray* array);
double* mxGetPr(const mxArray* array);
double mxGetScalar(const mxArray* array);
mwIndex* mxGetIr(const mxArray* array);
mwIndex* mxGetJc(const mxArray* array);
mwSize mxGetNzmax(const mxArray* array);
/* Copies a char array's text into buf (at most buflen - 1 characters and a
 * terminating 0); 1 when it is not char or does not fit, else 0. */
int mxGetString(const mxArray* array, char* buf, mwSize buflen);
/* A sparse array takes memory from mxMalloc or mxCalloc as its values or row
 * indices. The stand-in copies the memory's contents when it is set and
 * frees it: set it after filling it. */
void mxSetPr(mxArray* array, double* pr);
void mxSetIr(mxArray* array, mwIndex* ir);
void mxSetNzmax(mxArray* array, mwSize nzmax);

mxArray* mxCreateNumericArray(mwSize ndim, const mwSize* dims, mxClassID classid, mxComplexity flag);
mxArray* mxCreateUninitNumericArray(mwSize ndim, const mwSize* dims, mxClassID classid, mxComplexity flag);
mxArray* mxCreateDoubleMatrix(mwSize m, mwSize n, mxComplexity flag);
mxArray* mxCreateSparse(mwSize m, mwSize n, mwSize nzmax, mxComplexity flag);
void mxDestroyArray(mxArray* array);

void* mxCalloc(size_t n, size_t size);
void* mxMalloc(size_t n);
void mxFree(void* ptr);

void mexErrMsgTxt(const char* message);
void mexErrMsgIdAndTxt(const char* id, const char* format, ...);
void mexWarnMsgIdAndTxt(const char* id, const char* format, ...);
int mexPrintf(const char* format, ...);
int mexAtExit(void (*exitFunction)(void));

/* Not part of the MEX API: the stand-in's answer to "has the user pressed
 * Ctrl-C?", which the real hosts give in their own ways (see interrupt.h). */
bool standinInterruptPending(void);

#ifdef __cplusplus
}
#endif

#endif
