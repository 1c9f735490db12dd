include $(sort $(wildcard $(BR2_EXTERNAL_RESET_ACM0_PATH)/package/*/*.mk))
