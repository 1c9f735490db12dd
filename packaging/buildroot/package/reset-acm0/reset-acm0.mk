################################################################################
#
# reset-acm0
#
################################################################################

RESET_ACM0_VERSION = 1.4.0
RESET_ACM0_SOURCE = reset_acm0-$(RESET_ACM0_VERSION).tar.gz
RESET_ACM0_SITE = https://example.org/reset_acm0/releases
RESET_ACM0_LICENSE = MIT
RESET_ACM0_LICENSE_FILES = LICENSE

$(eval $(cmake-package))
