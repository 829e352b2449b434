# cmake -DSOURCE=dir -DTARGET=dir -P CopyData.cmake: copies SOURCE's content into TARGET, if any.
if(EXISTS "${SOURCE}")
  file(COPY "${SOURCE}/" DESTINATION "${TARGET}")
endif()
