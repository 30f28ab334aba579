# The print and page-setup dialogs come from Qt Print Support.
target_link_libraries(platform PUBLIC Qt6::PrintSupport)
