/* Status codes of zx_winsys: 0 success, negative failure. The numbers are fixed; programs
 * outside this repository compare against them. */
#ifndef QX_STATUS_H
#define QX_STATUS_H

#define QX_OK 0
#define QX_ERR_FAILED (-1)             /* unspecified failure */
#define QX_ERR_NOT_SUPPORTED (-2)      /* value or operation not supported */
#define QX_ERR_NO_MEMORY (-3)          /* a buffer could not be enlarged */
#define QX_ERR_INVALID_ARG (-4)        /* null pointer, value out of range, unconvertible time */
#define QX_ERR_NO_SYSTEM_FUNCTION (-5) /* a system function could not be located at run time */
#define QX_ERR_CANNOT_OPEN (-7)        /* the file to be examined cannot be opened */
#define QX_ERR_TRUNCATED (-8)          /* the data did not fit and was cut */
#define QX_ERR_SYSTEM (-9)             /* a system call or an allocation failed */
#define QX_ERR_NOT_AVAILABLE (-13)     /* not available on this platform */

#define QX_ERR_OPEN_FILE (-1000)
#define QX_ERR_CLOSE_FILE (-1001)
#define QX_ERR_READ_FILE (-1002)
#define QX_ERR_WRITE_FILE (-1003) /* also: fewer bytes written than read during a copy */
#define QX_ERR_SEEK_FILE (-1004)
#define QX_ERR_FILE_POSITION (-1005)
#define QX_ERR_LOCK_FILE (-1007)
#define QX_ERR_UNLOCK_FILE (-1008)
#define QX_ERR_SET_EOF (-1009)
#define QX_ERR_SET_FILE_TIMES (-1010)
#define QX_ERR_GET_FILE_TIMES (-1011)
#define QX_ERR_FILE_SIZE (-1012)
#define QX_ERR_NO_ACCESS (-1013) /* file missing or access denied */
#define QX_ERR_CREATE_DIRECTORY (-1014)
#define QX_ERR_REMOVE_DIRECTORY (-1015)
#define QX_ERR_COPY_FILE (-1016)
#define QX_ERR_MOVE_FILE (-1017)
#define QX_ERR_REMOVE_FILE (-1019)
#define QX_ERR_GET_CURRENT_DIRECTORY (-1020)
#define QX_ERR_SET_CURRENT_DIRECTORY (-1021)
#define QX_ERR_DISK_SPACE (-1022)
#define QX_ERR_TEMP_PATH (-1023)
#define QX_ERR_SEARCH_PATH (-1024)
#define QX_ERR_FIND_FIRST (-1025)
#define QX_ERR_FIND_NEXT (-1026) /* no further entry, or the listing failed */
#define QX_ERR_FIND_CLOSE (-1027)
#define QX_ERR_LOGICAL_DRIVES (-1028)
#define QX_ERR_VOLUME_INFORMATION (-1029)
#define QX_ERR_ACCESS_RIGHTS (-1030)
#define QX_ERR_SHARING_VIOLATION (-1031)
#define QX_ERR_READ_ONLY (-1101)        /* write access asked for a read-only file */
#define QX_ERR_BUFFER_TOO_SMALL (-1102) /* the needed size is reported */
#define QX_IO_PENDING (-1103)           /* callback status: the transfer goes on */
#define QX_IO_CANCELLED (-1104)         /* callback status: the copy was stopped by the caller */
#define QX_ERR_FILE_EXISTS (-1106)      /* the target exists and overwriting was refused */

#endif
